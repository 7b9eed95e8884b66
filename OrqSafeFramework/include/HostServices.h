// Services the host offers to a plug-in: the service directory handed to
// InitializeModule and the logger.
#pragma once

#include <cstdint>

#include "Contract.h"

namespace ORQ8 {

// Log levels: a line of level L is composed and sent only when a logger is
// present and its GetLogLevel() is at most L.
enum LogLevel : std::uint32_t {
    LogTrace = 0,
    LogInfo = 1,
    LogWarning = 2,
    LogError = 3,
};

// The host's logger. The host owns it; the module borrows it for its whole
// life and hands it to every detector, nobody on the plug-in side frees it.
// All three operations may be called from several threads at once; the
// plug-in takes no lock around them.
//
// The host fixes the return type of the two Log operations; here they return
// a status (0 success) that the plug-in never looks at.
class ILogger : public IContract {
public:
    // The threshold: lines below it are not wanted.
    virtual std::uint32_t GetLogLevel() = 0;
    // Short form, without source location. `message` is NUL-terminated and
    // borrowed for the call only.
    virtual std::int32_t Log(std::uint32_t level, const char* message) = 0;
    // Located form: source file path without extension, line, unqualified
    // function name. All texts are borrowed for the call only.
    virtual std::int32_t Log(std::uint32_t level, const char* file, int line,
                             const char* function, const char* message) = 0;
};

// The host object passed to InitializeModule. The plug-in asks it only for
// the logger and keeps no reference to it after the call.
class IHostServices : public IContract {
public:
    // Returns the host service that `key` names (already converted to that
    // interface type), or null. The service stays the host's.
    virtual void* GetService(const char* key) = 0;
};

}  // namespace ORQ8
