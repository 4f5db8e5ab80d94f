#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "locale/locale_format.h"
#include "settings/date_time.h"

namespace nimbrel {

// A byte count for display: "0 bytes", "1 byte", "999 bytes", then kB, MB, GB and TB chosen by
// powers of 1000 and divided by powers of 1024 ("0.98 kB" for 1000), with the locale's decimal
// separator.
std::string FormatBytes(std::uint64_t value);
std::string FormatBytes(std::uint64_t value, const LocaleFormat& format);

// The form of an English noun for `count` things: the word itself for exactly 1, otherwise its
// plural ("boxes", "entries", "files"). Endings are compared case-sensitively.
std::string Pluralize(std::string_view word, std::int64_t count);

// A moment for display: "None" for an empty value, "Today 14:05", "Yesterday 14:05" or
// "Tomorrow 14:05" near `now`, otherwise the short date and the short time. Raises
// std::out_of_range for a value outside the calendar (see DecodeDateTime).
std::string DateTimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, TDateTime now, const LocaleFormat& format);

}  // namespace nimbrel
