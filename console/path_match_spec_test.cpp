#include "path_match_spec.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk::console {
namespace {

TEST(PathMatchSpec, Table) {
    struct Case {
        const char16_t* name;
        const char16_t* spec;
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
        EXPECT_EQ(PathMatchSpec(c.name, c.spec), c.matches)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) << " vs "
            << std::string(c.spec, c.spec + std::char_traits<char16_t>::length(c.spec));
    }
}

// A long name against a pattern of many stars that never matches: the match gives up without
// trying every way of splitting the name among the stars.
TEST(PathMatchSpec, ManyStarsAgainstALongNameStayLinear) {
    const std::u16string name(16000, u'a');
    std::u16string spec;
    for (int i = 0; i < 40; ++i) {
        spec += u"*a";
    }
    spec += u"*b";
    EXPECT_FALSE(PathMatchSpec(name, spec));
    EXPECT_TRUE(PathMatchSpec(name + u"b", spec));
}

}  // namespace
}  // namespace vesk::console
