// What the framework's tests share: a host (event factory, sender, logger)
// and a logger that throws on every line.
#pragma once

#include <stdexcept>

#include "HostEventFakes.h"
#include "RecordingLogger.h"

namespace FrameworkTest {

// The host side every test talks to. The logger admits every level.
struct Host {
    TestSupport::RecordingLogger logger{0};
    TestSupport::FakeHostEventFactory events;
    TestSupport::FakeSender sender;
};

// A logger whose lines never arrive: sending one throws.
class ThrowingLogger : public ORQ8::ILogger {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    std::uint32_t GetLogLevel() override { return 0; }
    std::int32_t Log(std::uint32_t, const char*) override
    {
        ++attempts;
        throw std::runtime_error("log sink broken");
    }
    std::int32_t Log(std::uint32_t, const char*, int, const char*, const char*) override
    {
        ++attempts;
        throw std::runtime_error("log sink broken");
    }
    int attempts = 0;
};

}  // namespace FrameworkTest
