#pragma once

#include <string>

namespace nimbrel {

// The user's regional formats that the viewer's texts follow: numbers in byte counts, the value
// separator of CSV reports, dates and times in lists and reports. The core holds no GUI library,
// so the windows fill this once at start-up from the toolkit's locale; until then it follows the
// C library's locale of the process.
//
// Date and time patterns are strftime(3) patterns, rendered in the C library's LC_TIME locale
// (month and day names, AM/PM). glibc's "%-d" drops the leading zero.
struct LocaleFormat {
    std::string decimal_separator = ".";
    std::string list_separator = ",";
    std::string short_date_format = "%Y-%m-%d";
    std::string short_time_format = "%H:%M";

    // The formats of the C library's current locale. It has no list separator: as on the desktop
    // systems the viewer comes from, it is ";" where the decimal separator is "," and ","
    // elsewhere. Its short time is hours and minutes, in the 12-hour form where the locale's time
    // uses AM/PM.
    static LocaleFormat FromSystem();
};

// The formats in force. The viewer is single-threaded: set them before the first window opens.
const LocaleFormat& CurrentLocaleFormat();
void SetCurrentLocaleFormat(LocaleFormat format);

}  // namespace nimbrel
