// The framework's small shared rules: detector group texts, event
// identifiers and the clock of event times.
#pragma once

#include <cstdint>
#include <string>

namespace ORQ8 {
namespace Framework {

// True when `groups` is one or more known detector group names separated by
// single commas. Safe to call from several threads.
bool IsValidDetectorsGroup(const std::string& groups);

// A new random version-4 identifier in the 36-character 8-4-4-4-12 form.
std::string MakeEventUuid();

// The source of lengthy events' identifiers; stateless.
struct EventUuidGenerator {
    std::string operator()() const { return MakeEventUuid(); }
};

// Milliseconds since 1970-01-01 00:00:00 UTC, truncated. Never throws.
std::uint64_t NowMilliseconds() noexcept;

}  // namespace Framework
}  // namespace ORQ8
