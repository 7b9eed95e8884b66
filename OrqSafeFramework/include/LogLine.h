// The one way a log line reaches the host's logger.
//
// A line of level L is composed and sent only when a logger is present and
// its GetLogLevel() is at most L; otherwise not even its message is built, so
// disabled lines cost one virtual call. Messages are composed with fmt ("{}"
// placeholders) or Boost.Format ("%1%" placeholders). Composing may throw
// (out of memory, a bad format); callers that must not throw catch around it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include <boost/format.hpp>
#include <fmt/format.h>

#include "HostServices.h"

// fmt 7 to 10 are supported; FMT_VERSION is major * 10000 + minor * 100 +
// patch.
#if FMT_VERSION < 70000 || FMT_VERSION >= 110000
#error "fmt 7 to 10 is required"
#endif

namespace ORQ8 {

// Where a located line comes from: source path without extension, line,
// unqualified function name.
struct LogSite {
    const char* file;
    int line;
    const char* function;
};

inline bool LogAdmits(ILogger* logger, std::uint32_t level)
{
    return logger != nullptr && logger->GetLogLevel() <= level;
}

// Sends the message `compose()` returns, located at `site`.
template <class Compose>
void LogComposed(ILogger* logger, std::uint32_t level, const LogSite& site, Compose&& compose)
{
    if (!LogAdmits(logger, level))
        return;
    const std::string message = std::forward<Compose>(compose)();
    logger->Log(level, site.file, site.line, site.function, message.c_str());
}

// Sends the message `compose()` returns in the short form, without location.
template <class Compose>
void LogComposedShort(ILogger* logger, std::uint32_t level, Compose&& compose)
{
    if (!LogAdmits(logger, level))
        return;
    const std::string message = std::forward<Compose>(compose)();
    logger->Log(level, message.c_str());
}

namespace LogDetail {
template <class... Args>
std::string BoostFormat(const char* format, const Args&... args)
{
    boost::format composer(format);
    (void)std::initializer_list<int>{((void)(composer % args), 0)...};
    return composer.str();
}

// The type of an fmt format text for the arguments `Args`. From fmt 8 on it
// is fmt's format-string type, which checks the text against the arguments
// (when the text is a constant expression under C++20, or wrapped in
// FMT_STRING); fmt::format takes nothing else. fmt 7 has no such type: its
// fmt::format takes the text as a plain string view and checks it when the
// line is composed (a mismatch throws fmt::format_error, like any other
// composing failure). Either way the wrappers below pass the text on to
// fmt::format unchanged, and Args is deduced from the arguments alone.
#if FMT_VERSION >= 80000
template <class... Args>
using FmtText = fmt::format_string<Args...>;
#else
template <class... Args>
using FmtText = fmt::string_view;
#endif

}  // namespace LogDetail

// Located line composed with fmt.
template <class... Args>
void LogFmt(ILogger* logger, std::uint32_t level, const LogSite& site, LogDetail::FmtText<Args...> format,
            Args&&... args)
{
    LogComposed(logger, level, site, [&] { return fmt::format(format, std::forward<Args>(args)...); });
}

// Short-form line composed with fmt.
template <class... Args>
void LogFmtShort(ILogger* logger, std::uint32_t level, LogDetail::FmtText<Args...> format, Args&&... args)
{
    LogComposedShort(logger, level, [&] { return fmt::format(format, std::forward<Args>(args)...); });
}

// Located line composed with Boost.Format.
template <class... Args>
void LogBoost(ILogger* logger, std::uint32_t level, const LogSite& site, const char* format,
              const Args&... args)
{
    LogComposed(logger, level, site, [&] { return LogDetail::BoostFormat(format, args...); });
}

// Short-form line composed with Boost.Format.
template <class... Args>
void LogBoostShort(ILogger* logger, std::uint32_t level, const char* format, const Args&... args)
{
    LogComposedShort(logger, level, [&] { return LogDetail::BoostFormat(format, args...); });
}

}  // namespace ORQ8
