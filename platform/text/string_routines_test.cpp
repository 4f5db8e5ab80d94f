#include "platform/kernel/string_routines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kernel::UnicodeString;

UnicodeString View(const char16_t* text) {
    return kernel::ConstantUnicodeString(text);
}

TEST(StringRoutines, UpcasesOneUnitForOneUnit) {
    struct {
        char16_t in, out;
    } cases[] = {
        {u'a', u'A'},           {u'z', u'Z'},   {u'A', u'A'},
        {u'1', u'1'},           {u'\\', u'\\'}, {u'\u00e4', u'\u00c4'},  // a with diaeresis
        {u'\u00df', u'\u00df'},  // sharp s has no one-unit upper case
        {u'\u03c9', u'\u03a9'},  // omega
        {u'\xd83d', u'\xd83d'},  // a surrogate half stays as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kernel::UpcaseUnicodeChar(c.in), c.out) << static_cast<int>(c.in);
    }
}

TEST(StringRoutines, ComparesAndTestsPrefixesWithOrWithoutCase) {
    EXPECT_EQ(kernel::CompareUnicodeString(View(u"abc"), View(u"ABC"), true), 0);
    EXPECT_NE(kernel::CompareUnicodeString(View(u"abc"), View(u"ABC"), false), 0);
    EXPECT_LT(kernel::CompareUnicodeString(View(u"ab"), View(u"abc"), false), 0);
    EXPECT_GT(kernel::CompareUnicodeString(View(u"b"), View(u"abc"), false), 0);
    EXPECT_TRUE(kernel::EqualUnicodeString(View(u"\\Device\\X"), View(u"\\DEVICE\\x"), true));
    EXPECT_FALSE(kernel::EqualUnicodeString(View(u"\\Device\\X"), View(u"\\Device\\X1"), true));

    EXPECT_TRUE(kernel::PrefixUnicodeString(View(u"\\device"), View(u"\\Device\\X"), true));
    EXPECT_FALSE(kernel::PrefixUnicodeString(View(u"\\device"), View(u"\\Device\\X"), false));
    EXPECT_TRUE(kernel::PrefixUnicodeString(View(u"\\Device\\X"), View(u"\\Device\\X"), false));
    EXPECT_FALSE(kernel::PrefixUnicodeString(View(u"\\Device\\XY"), View(u"\\Device\\X"), true));
    EXPECT_TRUE(kernel::PrefixUnicodeString(View(u""), View(u""), true));
}

TEST(StringRoutines, AppendsWithinCapacityAndKeepsTheTrailingZero) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    UnicodeString s{0, sizeof(buffer), buffer};
    ASSERT_EQ(kernel::AppendUnicodeToString(&s, u"abc"), kernel::STATUS_SUCCESS);
    EXPECT_EQ(s.Length, 6);
    EXPECT_EQ(buffer[3], u'\0');

    // Exactly full: the text fits, no room for the zero, nothing written past the capacity.
    ASSERT_EQ(kernel::AppendUnicodeToString(&s, u"defgh"), kernel::STATUS_SUCCESS);
    EXPECT_EQ(s.Length, 16);
    EXPECT_EQ(std::u16string(buffer, 8), u"abcdefgh");

    // Too long: refused, unchanged.
    UnicodeString t{0, 4, buffer};
    EXPECT_EQ(kernel::AppendUnicodeToString(&t, u"xyz"), kernel::STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(t.Length, 0);
    EXPECT_EQ(buffer[0], u'a');
}

}  // namespace
