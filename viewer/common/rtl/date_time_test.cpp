#include "rtl/date_time.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rtl/exceptions.h"

namespace nimbrel {
namespace {

TEST(DateTime, DaysCountFromTheThirtiethOfDecember1899) {
    const struct {
        int y, m, d;
        double days;
    } cases[] = {
        {1899, 12, 30, 0},   {1899, 12, 29, -1}, {1900, 1, 1, 2},         {2000, 3, 1, 36586},
        {2024, 3, 5, 45356}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << '-' << c.m << '-' << c.d;
        TDateTimeParts parts;
        ASSERT_TRUE(TryDecodeDateTime(c.days, parts));
        EXPECT_EQ(parts.Year, c.y);
        EXPECT_EQ(parts.Month, c.m);
        EXPECT_EQ(parts.Day, c.d);
    }
}

TEST(DateTime, RejectsWhatIsNoCalendarDateOrTime) {
    TDate date = 0;
    EXPECT_FALSE(TryEncodeDate(2024, 2, 30, date));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, date));
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, date));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, date));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, date));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, date));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, date));
    EXPECT_THROW(EncodeDate(2024, 0, 1), EConvertError);
    TDateTime value = 0;
    EXPECT_FALSE(TryEncodeDateTime({2024, 3, 5, 24, 0, 0, 0}, value));
    EXPECT_FALSE(TryEncodeDateTime({2024, 3, 5, 1, 60, 0, 0}, value));
    EXPECT_FALSE(TryEncodeDateTime({2024, 3, 5, 1, 0, 60, 0}, value));
    TDateTimeParts parts;
    EXPECT_FALSE(TryDecodeDateTime(std::nan(""), parts));
    EXPECT_FALSE(TryDecodeDateTime(2958466.0, parts));
    EXPECT_FALSE(TryDecodeDateTime(-693594.0, parts));
}

TEST(DateTime, TimeOfDayCountsForwardsAlsoBeforeTheEpoch) {
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 18, 0, 0, 0}), 0.75);
    TDateTimeParts parts;
    ASSERT_TRUE(TryDecodeDateTime(-1.25, parts));
    EXPECT_EQ(parts.Day, 29);
    EXPECT_EQ(parts.Hour, 6);
    const TDateTime t = EncodeDateTime({2024, 3, 5, 14, 7, 9, 850});
    ASSERT_TRUE(TryDecodeDateTime(t, parts));
    EXPECT_EQ(parts.Hour, 14);
    EXPECT_EQ(parts.Minute, 7);
    EXPECT_EQ(parts.Second, 9);
    EXPECT_EQ(parts.Millisecond, 850);
    // The last instant of a day never rounds into the next one.
    ASSERT_TRUE(TryDecodeDateTime(45356.99999999999, parts));
    EXPECT_EQ(parts.Day, 5);
    EXPECT_EQ(parts.Hour, 23);
    EXPECT_EQ(parts.Millisecond, 999);
}

}  // namespace
}  // namespace nimbrel
