#include "settings/date_time.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace nimbrel {

namespace {

using namespace std::chrono;

constexpr long long kMSecsPerDay = 86'400'000;
// 1 January 0001 and the day after 31 December 9999, in days since 30 December 1899.
constexpr double kFirstDay = -693'593;
constexpr double kDayAfterLast = 2'958'466;
constexpr sys_days kEpoch = year{1899} / December / 30;

[[noreturn]] void InvalidDateTime() {
    throw std::out_of_range("Invalid date-time value");
}

struct DayAndTime {
    long long days;  // since 30 December 1899
    long long ms;    // since midnight
};

// The one place that splits a value, so that the day of a value and its decoded date always
// agree, also when the time of day rounds up to the next midnight.
DayAndTime Split(TDateTime value) {
    // The comparison is false for NaN, so NaN is refused here too.
    if (!(value > kFirstDay - 1 && value < kDayAfterLast)) {
        InvalidDateTime();
    }
    DayAndTime split{static_cast<long long>(std::trunc(value)), 0};
    split.ms = std::llround(std::fabs(value - static_cast<double>(split.days)) * kMSecsPerDay);
    if (split.ms >= kMSecsPerDay) {
        // Rounded up to the next midnight: that is the next calendar day, whatever the sign.
        split.ms -= kMSecsPerDay;
        ++split.days;
    }
    return split;
}

}  // namespace

TDateTimeParts DecodeDateTime(TDateTime value) {
    const auto [days, ms] = Split(value);
    const sys_days date = kEpoch + std::chrono::days{days};
    const year_month_day ymd{date};
    if (ymd.year() < year{1} || ymd.year() > year{9999}) {
        InvalidDateTime();
    }
    TDateTimeParts parts;
    parts.Year = static_cast<int>(ymd.year());
    parts.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    parts.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    parts.Hour = static_cast<int>(ms / 3'600'000);
    parts.Minute = static_cast<int>(ms / 60'000 % 60);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.MilliSecond = static_cast<int>(ms % 1000);
    parts.DayOfWeek = static_cast<int>(weekday{date}.c_encoding());
    parts.DayOfYear = static_cast<int>((date - sys_days{ymd.year() / January / 1}).count()) + 1;
    return parts;
}

TDateTime EncodeDateTime(int y, int m, int d, int hour, int minute, int second, int millisecond) {
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)},
                             day{static_cast<unsigned>(d)}};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || !ymd.ok() || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999) {
        InvalidDateTime();
    }
    const auto days = static_cast<double>((sys_days{ymd} - kEpoch).count());
    const double time =
        static_cast<double>(((hour * 60LL + minute) * 60 + second) * 1000 + millisecond) /
        kMSecsPerDay;
    return days < 0 ? days - time : days + time;
}

long long DayNumber(TDateTime value) {
    const long long days = Split(value).days;
    if (days >= static_cast<long long>(kDayAfterLast)) {
        InvalidDateTime();
    }
    return days;
}

TDateTime Now() {
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    std::tm tm{};
    tm.tm_year = parts.Year - 1900;
    tm.tm_mon = parts.Month - 1;
    tm.tm_mday = parts.Day;
    tm.tm_hour = parts.Hour;
    tm.tm_min = parts.Minute;
    tm.tm_sec = parts.Second;
    tm.tm_wday = parts.DayOfWeek;
    tm.tm_yday = parts.DayOfYear - 1;
    tm.tm_isdst = -1;
    // strftime returns 0 both for an empty result and for a full buffer; a trailing space keeps
    // every result non-empty, so 0 means only "grow the buffer".
    const std::string format = std::string(pattern) + ' ';
    std::vector<char> buffer(64 + 4 * format.size());
    for (;;) {
        const std::size_t n = std::strftime(buffer.data(), buffer.size(), format.c_str(), &tm);
        if (n > 0) {
            return std::string(buffer.data(), n - 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace nimbrel
