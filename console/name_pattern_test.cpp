#include "name_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk::console {
namespace {

TEST(MatchesNamePattern, Table) {
    struct Case {
        const char16_t* name;
        const char16_t* patterns;
        bool matches;
    };
    const Case cases[] = {
        // '*' runs over separators: the pattern is matched against the whole path.
        {u"/srv/data/a.txt", u"*.txt", true},
        {u"C:\\dir\\f.TXT", u"*.txt", true},
        {u"/srv/data/a.txt.bak", u"*.txt", false},
        {u"/srv/data/a.txt", u"a.txt", false},
        {u"/srv/data/a.txt", u"/srv/*/a.txt", true},
        {u"/srv/data/a.txt", u"*", true},
        {u"", u"*", true},
        // '?' is exactly one character.
        {u"/a/b1.log", u"*b?.log", true},
        {u"/a/b.log", u"*b?.log", false},
        {u"/a/b12.log", u"*b?.log", false},
        // Case, also beyond ASCII.
        {u"/A/Ärger.Txt", u"*ärger.tXT", true},
        // "*.*" is every name, also one without a dot; as part of a longer pattern it wants one.
        {u"/srv/Makefile", u"*.*", true},
        {u"/srv/Makefile", u"x;*.*", true},
        {u"/srv/Makefile", u"*.*x", false},
        // Lists: any pattern may match; spaces after ';' are skipped, others are characters.
        {u"/a/b.log", u"*.txt;*.log", true},
        {u"/a/b.log", u"*.txt; *.log", true},
        {u"/a/b.log", u"*.log ;*.txt", false},
        {u"/a/b.log ", u"*.log ;*.txt", true},
        {u"/a/b.log", u"*.txt;", false},
        {u"", u"*.txt;", true},
        {u"/a/b.log", u"*.txt;;*.doc", false},
        // Stars that must give characters back, and several stars in a row.
        {u"/a/abcabcabd", u"*abd", true},
        {u"/a/abcabcabd", u"*a*b*c*d", true},
        {u"/a/abcabcab", u"*a*b*c*d", false},
        {u"/a/x", u"***", true},
        {u"/a/x", u"/a/x**", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesNamePattern(c.name, c.patterns), c.matches)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) << " vs "
            << std::string(c.patterns, c.patterns + std::char_traits<char16_t>::length(c.patterns));
    }
}

// A long name against a pattern of many stars that never matches: the match gives up without
// trying every way of splitting the name among the stars.
TEST(MatchesNamePattern, ManyStarsAgainstALongNameStayLinear) {
    const std::u16string name(16000, u'a');
    std::u16string patterns;
    for (int i = 0; i < 40; ++i) {
        patterns += u"*a";
    }
    patterns += u"*b";
    EXPECT_FALSE(MatchesNamePattern(name, patterns));
    EXPECT_TRUE(MatchesNamePattern(name + u"b", patterns));
}

}  // namespace
}  // namespace vesk::console
