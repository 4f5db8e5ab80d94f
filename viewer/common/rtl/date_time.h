// TDateTime: days since 30 December 1899 as a double, the fraction being the time of day (local
// time). Before the epoch the integral part counts backwards while the fraction still counts
// forwards from midnight, so 1899-12-29 06:00 is -1.25. TDate is the same number used for a date
// alone.
#pragma once

namespace nimbrel {

using TDateTime = double;
using TDate = double;

struct TDateTimeParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Years 1 to 9999; false for anything that is not a calendar date or a time of day.
bool TryEncodeDate(int Year, int Month, int Day, TDate& Result);
bool TryEncodeDateTime(const TDateTimeParts& Parts, TDateTime& Result);

// Raise EConvertError where the Try forms answer false.
TDate EncodeDate(int Year, int Month, int Day);
TDateTime EncodeDateTime(const TDateTimeParts& Parts);

// False for values outside the years 1 to 9999 (and for NaN); the time is rounded to the
// millisecond, never into the next day.
bool TryDecodeDateTime(TDateTime Value, TDateTimeParts& Parts);

}  // namespace nimbrel
