// A host logger for tests: keeps every line it is sent, with its location.
// Safe to use from several threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "HostServices.h"

namespace TestSupport {

struct LogRecord {
    std::uint32_t level = 0;
    bool located = false;
    std::string file;
    int line = 0;
    std::string function;
    std::string message;
};

class RecordingLogger : public ORQ8::ILogger {
public:
    explicit RecordingLogger(std::uint32_t level = 0) : logLevel(level) {}

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && std::string(key) == ORQ8::ContractKey<ORQ8::ILogger>())
            return static_cast<ORQ8::ILogger*>(this);
        return nullptr;
    }

    std::uint32_t GetLogLevel() override
    {
        levelQueries.fetch_add(1);
        return logLevel.load();
    }
    std::int32_t Log(std::uint32_t level, const char* message) override
    {
        LogRecord r;
        r.level = level;
        r.message = message ? message : "<null>";
        Add(std::move(r));
        return 0;
    }
    std::int32_t Log(std::uint32_t level, const char* file, int line, const char* function,
                     const char* message) override
    {
        LogRecord r;
        r.level = level;
        r.located = true;
        r.file = file ? file : "<null>";
        r.line = line;
        r.function = function ? function : "<null>";
        r.message = message ? message : "<null>";
        Add(std::move(r));
        return 0;
    }

    void SetLevel(std::uint32_t level) { logLevel.store(level); }
    std::vector<LogRecord> Records() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const LogRecord& r : Records())
            out.push_back(r.message);
        return out;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        records.clear();
    }

    std::atomic<int> levelQueries{0};

private:
    void Add(LogRecord r)
    {
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back(std::move(r));
    }

    std::atomic<std::uint32_t> logLevel;
    mutable std::mutex mutex;
    std::vector<LogRecord> records;
};

}  // namespace TestSupport
