#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// A moment in local time: the integral part counts days since 30 December 1899, the fraction is
// the time of day. Before that day the integral part is negative and the fraction still counts
// forward from midnight: -1.25 is 29 December 1899, 06:00.
using TDateTime = double;

// The calendar fields of a TDateTime, rounded to the millisecond.
struct TDateTimeParts {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MilliSecond = 0;
    int DayOfWeek = 0;  // 0 = Sunday
    int DayOfYear = 0;  // 1 = 1 January
};

// Raises std::out_of_range("Invalid date-time value") for a value that is not a number or lies
// outside the years 1 to 9999, instead of reading a calendar out of garbage.
TDateTimeParts DecodeDateTime(TDateTime value);

// The TDateTime of a calendar date and time of day; raises std::out_of_range("Invalid date-time
// value") for fields out of their ranges.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

// The calendar day of a value in days since 30 December 1899, for "same day" comparisons; the
// same day that DecodeDateTime gives. Raises as DecodeDateTime does.
long long DayNumber(TDateTime value);

// The current local time.
TDateTime Now();

// `value` rendered with a strftime(3) pattern in the C library's LC_TIME locale.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

}  // namespace nimbrel
