#include "rtl/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rtl/exceptions.h"

namespace nimbrel {
namespace {

TEST(NumberText, FloatToStrUsesGeneralFormWithFifteenDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {100.0, "100"},
        {3.25, "3.25"},
        {-0.5, "-0.5"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {0.00001, "0.00001"},   // the smallest magnitude still written plainly
        {0.0000099, "9.9E-6"},  // below it: scientific, no "+"
        {1.5e-7, "1.5E-7"},
        {-1.5e-7, "-1.5E-7"},
        {123456789012345.0, "123456789012345"},  // 15 integer digits
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.9, "1E15"},  // rounding to 15 digits adds a 16th integer digit
        {1e20, "1E20"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {std::nan(""), "NAN"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
    }
}

TEST(NumberText, StrToFloatAcceptsOnlyDotDecimals) {
    const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"1.5", true, 1.5},       {"-2", true, -2},  {"+2", true, 2},   {"1E20", true, 1e20},
        {"1.5E-7", true, 1.5e-7}, {"1,5", false, 0}, {"", false, 0},    {"abc", false, 0},
        {" 1", false, 0},         {"1 ", false, 0},  {"+-1", false, 0},
    };
    for (const auto& c : cases) {
        double value = 0;
        EXPECT_EQ(TryStrToFloat(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        }
    }
}

TEST(NumberText, IntegerTextsAreSignAndDigitsOnly) {
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(StrToUInt64("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
    for (const char* bad : {"", "-", "+", " 1", "1 ", "0x10", "1.0", "2147483648", "--1"}) {
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    }
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_THROW(StrToUInt64("18446744073709551616"), EConvertError);
    EXPECT_THROW(StrToUInt64("-1"), EConvertError);
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

}  // namespace
}  // namespace nimbrel
