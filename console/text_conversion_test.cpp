#include "text_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "local_time.h"

namespace vesk::console {
namespace {

TEST(TextConversion, Utf16ToUtf8AndBack) {
    EXPECT_EQ(ToUtf8(u"/srv/data/Ärger €.txt"), "/srv/data/\xC3\x84rger \xE2\x82\xAC.txt");
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToUtf8(static_cast<const VeskChar*>(nullptr)), "");
    EXPECT_EQ(FromUtf8("/srv/\xC3\x84/\xF0\x9F\x98\x80"), u"/srv/Ä/\U0001F600");
}

// A damaged name still prints: what cannot be converted becomes U+FFFD.
TEST(TextConversion, IllFormedTextBecomesReplacementCharacters) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b");
    const char16_t trailing[] = {u'a', 0xDC00, 0};
    EXPECT_EQ(ToUtf8(trailing), "a\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
}

TEST(TextConversion, CaseHelpers) {
    EXPECT_EQ(UpperCase(u'ä'), u'Ä');
    EXPECT_EQ(UpperCase(u'1'), u'1');
    EXPECT_EQ(UpperCase(static_cast<char16_t>(0xD800)), 0xD800);
    EXPECT_EQ(AsciiLowerCase("RwX*"), "rwx*");
    EXPECT_TRUE(EqualsIgnoringAsciiCase("/S", "/s"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("/s ", "/s"));
}

TEST(LocalTime, FileTimesInTheLocalZone) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // 2026-12-11 00:46:39 UTC.
    const std::uint64_t ticks = (1'796'949'999ULL + 11'644'473'600ULL) * 10'000'000ULL + 1234567;
    EXPECT_EQ(FormatLocalTime(ticks), "00:46:39 11.12.2026");
    setenv("TZ", "CET-1", 1);
    tzset();
    EXPECT_EQ(FormatLocalTime(ticks), "01:46:39 11.12.2026");
    EXPECT_EQ(FormatLocalTime(0x8000000000000000ULL), std::nullopt);
    previous != nullptr ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace vesk::console
