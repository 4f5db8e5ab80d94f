#include "case_insensitive_search.h"

#include <gtest/gtest.h>

namespace {

using vesk::driver::FindIgnoringCase;
using vesk::driver::kNotFound;

TEST(CaseInsensitiveSearch, FindsTheFirstOccurrence) {
    struct {
        std::u16string_view text, pattern;
        std::size_t expected;
    } cases[] = {
        {u"xaaab", u"aab", 2},  // a false start right before the match
        {u"XAAAB", u"aab", 2},
        {u"\\Device\\Mup\\;LanmanRedirector\\;Z:01\\SERVER\\Share\\f", u"\\server\\share", 35},
        {u"abc", u"abc", 0},
        {u"abc", u"abcd", kNotFound},
        {u"abc", u"", kNotFound},
        {u"", u"a", kNotFound},
        {u"ab", u"b", 1},
        {u"\u00e4bc", u"\u00c4B", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindIgnoringCase(c.text, c.pattern), c.expected);
    }
    EXPECT_EQ(FindIgnoringCase(u"abab", u"ab", 1), 2u);
}

}  // namespace
