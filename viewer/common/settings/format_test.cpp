#include "settings/format.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace nimbrel {
namespace {

struct BytesCase {
    std::uint64_t value;
    const char* text;
};

TEST(FormatBytesTest, ChoosesUnitByPowersOf1000AndDividesByPowersOf1024) {
    const LocaleFormat format;  // "." as decimal separator
    const BytesCase cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "0.98 kB"},  // the first count shown in kB is below one kB
        {1024, "1 kB"},     // whole quotients have no decimals
        {2000, "1.95 kB"},
        {50000, "48.8 kB"},
        {150000, "146 kB"},
        {999999, "977 kB"},
        {1000000, "0.95 MB"},
        {1048576, "1 MB"},
        {1000000000, "0.93 GB"},
        {1099511627776ULL, "1 TB"},
        {1000000000000ULL, "0.91 TB"},
        {std::numeric_limits<std::uint64_t>::max(), "16777216 TB"},
    };
    for (const BytesCase& c : cases) {
        EXPECT_EQ(FormatBytes(c.value, format), c.text) << c.value;
    }
}

TEST(FormatBytesTest, UsesTheLocaleDecimalSeparator) {
    LocaleFormat format;
    format.decimal_separator = ",";
    EXPECT_EQ(FormatBytes(1000, format), "0,98 kB");
    EXPECT_EQ(FormatBytes(50000, format), "48,8 kB");
    EXPECT_EQ(FormatBytes(1048576, format), "1 MB");
}

struct PluralCase {
    const char* word;
    std::int64_t count;
    const char* text;
};

TEST(PluralizeTest, FollowsEnglishEndings) {
    const PluralCase cases[] = {
        {"byte", 1, "byte"},   {"byte", 0, "bytes"},
        {"byte", 2, "bytes"},  {"entry", -1, "entries"},
        {"bus", 2, "buses"},   {"box", 2, "boxes"},
        {"buzz", 2, "buzzes"}, {"match", 2, "matches"},
        {"dish", 2, "dishes"}, {"entry", 2, "entries"},
        {"day", 2, "days"},    {"key", 2, "keys"},
        {"y", 2, "ys"},        {"BOX", 2, "BOXs"},  // endings are compared case-sensitively
        {"", 2, "s"},
    };
    for (const PluralCase& c : cases) {
        EXPECT_EQ(Pluralize(c.word, c.count), c.text) << c.word << " " << c.count;
    }
}

struct MomentCase {
    const char* name;
    TDateTime value;
    const char* text;
};

TEST(DateTimeToStrTest, NamesDaysNearNow) {
    const LocaleFormat format{".", ",", "%d/%m/%Y", "%H:%M"};
    const TDateTime now = EncodeDateTime(2024, 3, 15, 10, 30);
    const MomentCase cases[] = {
        {"zero", 0.0, "None"},
        {"almost zero", 1e-12, "None"},
        {"almost zero, negative", -1e-12, "None"},
        {"just above the empty value", 2e-12, "30/12/1899 00:00"},
        {"today", EncodeDateTime(2024, 3, 15, 8, 5), "Today 08:05"},
        {"later today", EncodeDateTime(2024, 3, 15, 23, 59), "Today 23:59"},
        {"yesterday", EncodeDateTime(2024, 3, 14, 23, 59), "Yesterday 23:59"},
        {"tomorrow", EncodeDateTime(2024, 3, 16), "Tomorrow 00:00"},
        {"two days ago", EncodeDateTime(2024, 3, 13, 14), "13/03/2024 14:00"},
        {"last year", EncodeDateTime(2023, 3, 15, 10, 30), "15/03/2023 10:30"},
        // Rounds to today's midnight: shown on the day it is shown as.
        {"rounding into today", EncodeDateTime(2024, 3, 14) + 0.99999999999, "Today 00:00"},
    };
    for (const MomentCase& c : cases) {
        EXPECT_EQ(DateTimeToStr(c.value, now, format), c.text) << c.name;
    }
    EXPECT_THROW(DateTimeToStr(std::numeric_limits<double>::quiet_NaN(), now, format),
                 std::out_of_range);
}

TEST(DateTimeToStrTest, TheCurrentMomentIsToday) {
    EXPECT_EQ(DateTimeToStr(Now()).rfind("Today ", 0), 0u);
}

TEST(LocaleFormatTest, FollowsTheCLibraryLocale) {
    // The tests run in the "C" locale.
    const LocaleFormat format = LocaleFormat::FromSystem();
    EXPECT_EQ(format.decimal_separator, ".");
    EXPECT_EQ(format.list_separator, ",");
    EXPECT_EQ(format.short_date_format, "%m/%d/%y");
    EXPECT_EQ(format.short_time_format, "%H:%M");
}

}  // namespace
}  // namespace nimbrel
