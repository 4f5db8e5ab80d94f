#include "rtl/date_time.h"

#include <cmath>
#include <cstdint>

#include "rtl/exceptions.h"

namespace nimbrel {
namespace {

constexpr std::int64_t kMSecsPerDay = 86'400'000;
// Days from 0001-01-01 to 1899-12-30 and from 1899-12-30 to 9999-12-31.
constexpr double kMinDays = -693593.0;
constexpr double kMaxDays = 2958466.0;  // exclusive: the first day after 9999-12-31

bool IsLeapYear(int Year) {
    return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
}

int DaysInMonth(int Year, int Month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return Month == 2 && IsLeapYear(Year) ? 29 : kDays[Month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& Year, int& Month, int& Day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    Year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (Month <= 2));
}

constexpr std::int64_t kEpochFromUnix = -25569;  // 1899-12-30 counted from 1970-01-01

}  // namespace

bool TryEncodeDate(int Year, int Month, int Day, TDate& Result) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > DaysInMonth(Year, Month)) {
        return false;
    }
    Result = static_cast<double>(
        DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) -
        kEpochFromUnix);
    return true;
}

bool TryEncodeDateTime(const TDateTimeParts& Parts, TDateTime& Result) {
    TDate date = 0;
    if (!TryEncodeDate(Parts.Year, Parts.Month, Parts.Day, date) || Parts.Hour < 0 ||
        Parts.Hour > 23 || Parts.Minute < 0 || Parts.Minute > 59 || Parts.Second < 0 ||
        Parts.Second > 59 || Parts.Millisecond < 0 || Parts.Millisecond > 999) {
        return false;
    }
    const double time =
        static_cast<double>(((Parts.Hour * 60 + Parts.Minute) * 60 + Parts.Second) * 1000 +
                            Parts.Millisecond) /
        static_cast<double>(kMSecsPerDay);
    // Before the epoch the time of day still counts forwards, away from the (negative) day.
    Result = date < 0 ? date - time : date + time;
    return true;
}

TDate EncodeDate(int Year, int Month, int Day) {
    TDate result = 0;
    if (!TryEncodeDate(Year, Month, Day, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

TDateTime EncodeDateTime(const TDateTimeParts& Parts) {
    TDateTime result = 0;
    if (!TryEncodeDateTime(Parts, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

bool TryDecodeDateTime(TDateTime Value, TDateTimeParts& Parts) {
    if (!(Value > kMinDays - 1.0 && Value < kMaxDays)) {
        return false;
    }
    const double day = std::trunc(Value);
    if (day < kMinDays || day >= kMaxDays) {
        return false;
    }
    std::int64_t msecs = std::llround(std::fabs(Value - day) * static_cast<double>(kMSecsPerDay));
    if (msecs >= kMSecsPerDay) {
        msecs = kMSecsPerDay - 1;
    }
    CivilFromDays(static_cast<std::int64_t>(day) + kEpochFromUnix, Parts.Year, Parts.Month,
                  Parts.Day);
    Parts.Millisecond = static_cast<int>(msecs % 1000);
    Parts.Second = static_cast<int>(msecs / 1000 % 60);
    Parts.Minute = static_cast<int>(msecs / 60'000 % 60);
    Parts.Hour = static_cast<int>(msecs / 3'600'000);
    return true;
}

}  // namespace nimbrel
