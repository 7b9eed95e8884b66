// The framework's small shared rules: detector group texts, event
// identifiers and the clock of event times. All of them may be called from
// any thread; none takes a lock.
#pragma once

#include <cstdint>
#include <string>

namespace boost {
namespace posix_time {
class ptime;
}  // namespace posix_time
}  // namespace boost

namespace ORQ8 {
namespace Framework {

// True when `groups` is one or more known detector group names separated by
// single commas (byte-wise comparison, no trimming; an empty piece fails).
// Safe to call from several threads: the name table is built once, on first
// use, and only read afterwards.
bool IsValidDetectorsGroup(const std::string& groups);

// A new random version-4 identifier in the 36-character lower-case
// 8-4-4-4-12 form. Throws only std::bad_alloc.
std::string MakeEventUuid();

// The source of lengthy events' identifiers; stateless.
struct EventUuidGenerator {
    std::string operator()() const { return MakeEventUuid(); }
};

// Milliseconds since 1970-01-01 00:00:00 UTC, truncated. Never throws: a
// system clock that the calendar code cannot convert is read through
// std::chrono instead. Called from the lengthy event raiser's destructor.
std::uint64_t NowMilliseconds() noexcept;

// A reading of the UTC calendar clock with microsecond resolution. The
// production reader is the date library's microsecond clock; it may throw
// when the system time has no calendar date.
using UtcClockReader = boost::posix_time::ptime (*)();

// What NowMilliseconds() does, with the clock reading supplied by the caller
// (NowMilliseconds passes the date library's clock; tests pass a fixed
// reading). A reader that throws, or a reading that is not a date, falls
// back to std::chrono's system clock; a time before 1970 reads as 0.
std::uint64_t MillisecondsFromClock(UtcClockReader readUtc) noexcept;

}  // namespace Framework
}  // namespace ORQ8
