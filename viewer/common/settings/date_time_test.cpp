#include "settings/date_time.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

struct DecodeCase {
    const char* name;
    TDateTime value;
    TDateTimeParts parts;  // DayOfYear is not compared
};

TEST(DateTimeTest, DecodesDaysAndTimeOfDay) {
    const DecodeCase cases[] = {
        {"the epoch", 0.0, {1899, 12, 30, 0, 0, 0, 0, 6, 0}},
        {"a quarter past the second day", 2.75, {1900, 1, 1, 18, 0, 0, 0, 1, 0}},
        // Before the epoch the fraction still counts forward from midnight.
        {"before the epoch", -1.25, {1899, 12, 29, 6, 0, 0, 0, 5, 0}},
        {"a leap day", 45351.5, {2024, 2, 29, 12, 0, 0, 0, 4, 0}},
        {"milliseconds", 45351.0 + 1.0 / 86400000 * 4005, {2024, 2, 29, 0, 0, 4, 5, 4, 0}},
        // Rounded to the millisecond, the last instant of a day is the next midnight.
        {"rounds up to the next day", 0.9999999999, {1899, 12, 31, 0, 0, 0, 0, 0, 0}},
        {"rounds up before the epoch", -1.9999999999, {1899, 12, 30, 0, 0, 0, 0, 6, 0}},
        {"first day", -693593.0, {1, 1, 1, 0, 0, 0, 0, 1, 0}},
        {"last day", 2958465.5, {9999, 12, 31, 12, 0, 0, 0, 5, 0}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TDateTimeParts p = DecodeDateTime(c.value);
        EXPECT_EQ(p.Year, c.parts.Year);
        EXPECT_EQ(p.Month, c.parts.Month);
        EXPECT_EQ(p.Day, c.parts.Day);
        EXPECT_EQ(p.Hour, c.parts.Hour);
        EXPECT_EQ(p.Minute, c.parts.Minute);
        EXPECT_EQ(p.Second, c.parts.Second);
        EXPECT_EQ(p.MilliSecond, c.parts.MilliSecond);
        EXPECT_EQ(p.DayOfWeek, c.parts.DayOfWeek);
        // The day of a value is the day its date decodes to, also after rounding up.
        EXPECT_EQ(DayNumber(c.value),
                  static_cast<long long>(EncodeDateTime(p.Year, p.Month, p.Day)));
    }
    EXPECT_EQ(DecodeDateTime(45351.5).DayOfYear, 60);
}

TEST(DateTimeTest, RefusesValuesOutsideTheCalendar) {
    const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             -693594.0,
                             2958466.0,
                             2958465.9999999999,
                             1e300};
    for (double value : values) {
        SCOPED_TRACE(value);
        EXPECT_THROW(DecodeDateTime(value), std::out_of_range);
        EXPECT_THROW(DayNumber(value), std::out_of_range);
        EXPECT_THROW(FormatDateTime("%Y", value), std::out_of_range);
    }
}

TEST(DateTimeTest, EncodesWhatDecodeReads) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 2, 29, 12), 45351.5);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1, 1, 1), -693593.0);

    EXPECT_THROW(EncodeDateTime(2024, 2, 30), std::out_of_range);
    EXPECT_THROW(EncodeDateTime(2023, 2, 29), std::out_of_range);
    EXPECT_THROW(EncodeDateTime(2024, 13, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateTime(0, 1, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 24), std::out_of_range);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 0, 0, 0, 1000), std::out_of_range);
}

TEST(DateTimeTest, FormatsWithStrftimePatterns) {
    const TDateTime value = EncodeDateTime(2024, 2, 9, 7, 5, 3);
    EXPECT_EQ(FormatDateTime("%d.%m.%Y %H:%M:%S", value), "09.02.2024 07:05:03");
    EXPECT_EQ(FormatDateTime("%-d/%-m/%y %-I:%M %p", value), "9/2/24 7:05 AM");
    EXPECT_EQ(FormatDateTime("%a %j", value), "Fri 040");
    EXPECT_EQ(FormatDateTime("", value), "");
    // A result longer than the first buffer.
    std::string pattern;
    for (int i = 0; i < 200; ++i) {
        pattern += "%Y";
    }
    EXPECT_EQ(FormatDateTime(pattern, value).size(), 800u);
}

TEST(DateTimeTest, NowIsTheLocalTime) {
    auto local_clock = [] {
        // Not std::time: it reads the coarse clock, which may still be in the previous second
        // when the precise one Now() reads has moved on.
        const std::time_t seconds =
            std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm local{};
        localtime_r(&seconds, &local);
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, std::min(local.tm_sec, 59));
    };
    const TDateTime before = local_clock();
    const TDateTime now = Now();
    const TDateTime after = local_clock();
    const double second = 1.0 / 86400;
    EXPECT_GE(now, before - second);
    EXPECT_LE(now, after + second);
}

}  // namespace
}  // namespace nimbrel
