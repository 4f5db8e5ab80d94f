// FILETIME values (100-nanosecond units since 1 January 1601, UTC) as the local time the console
// prints: "hh:mm:ss dd.mm.yyyy".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesk::console {

// Nothing for a value the system cannot turn into a local calendar time (above 2^63 - 1, or
// beyond what the time zone routines handle).
std::optional<std::string> FormatLocalTime(std::uint64_t fileTime);

}  // namespace vesk::console
