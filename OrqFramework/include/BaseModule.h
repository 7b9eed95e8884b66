// BaseModule: what every analytics module holds, whatever detectors it makes.
//
// A plug-in derives its module from it and adds CreateDetector. The module is
// made once by InitializeModule and destroyed by FinalizeModule or at library
// unload. After construction it has no mutable state, so the host may call
// GetContract and CreateDetector from several threads at once without a lock.
//
// The build supplies ModuleVersionInfo.h (generated from
// cmake/ModuleVersionInfo.h.in), which the version line shows.
#pragma once

#include <string>
#include <utility>

#include "Contract.h"
#include "Detector.h"
#include "HostServices.h"
#include "LogLine.h"
#include "ModuleVersionInfo.h"

class BaseModule : public ORQ8::Analytics::IModule {
public:
    BaseModule(const BaseModule&) = delete;
    BaseModule& operator=(const BaseModule&) = delete;
    ~BaseModule() override = default;

    void* GetContract(const char* key) override { return DoGetContract(key); }

    // The module itself for the IContract, IPluginModule and IModule keys;
    // null for any other key and for a null key. Every face is the same
    // address (single inheritance), so one answer serves them all.
    void* DoGetContract(const char* key) override
    {
        if (key == nullptr)
            return nullptr;
        const std::string requested(key);
        if (requested == ORQ8::ContractKey<ORQ8::IContract>() ||
            requested == ORQ8::ContractKey<ORQ8::PLUGIN::IPluginModule>() ||
            requested == ORQ8::ContractKey<ORQ8::Analytics::IModule>())
            return static_cast<ORQ8::Analytics::IModule*>(this);
        return nullptr;
    }

    // The host's logger (borrowed, may be null) and the folder the plug-in
    // file lies in, for the detectors the module makes.
    ORQ8::ILogger* Logger() const noexcept { return logger; }
    const std::string& ModulePath() const noexcept { return modulePath; }

protected:
    // `logger` is borrowed for the module's whole life and never released.
    // Writes the version line; throws what composing or sending it throws.
    BaseModule(ORQ8::ILogger* logger_, std::string modulePath_)
        : logger(logger_), modulePath(std::move(modulePath_))
    {
        ORQ8::LogBoost(logger, ORQ8::LogInfo, kVersionSite,
                       "Module's file version: %1%; product version: %2%; company name: %3%",
                       ModuleVersionInfo::kFileVersion, ModuleVersionInfo::kProductVersion,
                       ModuleVersionInfo::kCompanyName);
    }

private:
    // Where this unit's log lines say they come from.
    static constexpr ORQ8::LogSite kVersionSite{"OrqFramework/include/BaseModule", 29, "BaseModule"};

    ORQ8::ILogger* const logger;
    const std::string modulePath;
};
