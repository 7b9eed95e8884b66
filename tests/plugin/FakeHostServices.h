// A host service directory for tests: answers the logger key with the logger
// it is given (or with nothing), counts the questions, and can throw on a
// chosen question to stand for a host that fails.
#pragma once

#include <cstring>
#include <functional>

#include "HostServices.h"

namespace TestSupport {

class FakeHostServices : public ORQ8::IHostServices {
public:
    explicit FakeHostServices(ORQ8::ILogger* logger = nullptr) : logger(logger) {}

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && std::strcmp(key, ORQ8::ContractKey<ORQ8::IHostServices>()) == 0)
            return static_cast<ORQ8::IHostServices*>(this);
        return nullptr;
    }

    void* GetService(const char* key) override
    {
        ++serviceQueries;
        if (onQuery)
            onQuery(serviceQueries);
        if (key != nullptr && std::strcmp(key, ORQ8::ContractKey<ORQ8::ILogger>()) == 0)
            return static_cast<ORQ8::ILogger*>(logger);
        return nullptr;
    }

    ORQ8::ILogger* logger;
    int serviceQueries = 0;
    // Called with the 1-based number of each GetService call before it is
    // answered; may throw.
    std::function<void(int)> onQuery;
};

}  // namespace TestSupport
