#include "platform/kernel/name_expression.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "name_expression_reference.h"
#include "platform/kernel/string_routines.h"

namespace {

kernel::UnicodeString View(const std::u16string& s) {
    return kernel::UnicodeString{static_cast<std::uint16_t>(s.size() * 2),
                                 static_cast<std::uint16_t>(s.size() * 2),
                                 const_cast<char16_t*>(s.data())};
}

bool Matches(const std::u16string& expression, const std::u16string& name, bool ignoreCase = true) {
    std::vector<std::uint64_t> state(
        kernel::NameExpressionStateWords(static_cast<std::uint16_t>(expression.size() * 2)));
    return kernel::IsNameInExpression(View(expression), View(name), ignoreCase, state);
}

struct Case {
    const char16_t* expression;
    const char16_t* name;
    bool matches;
};

void PrintTo(const Case& c, std::ostream* out) {
    const std::u16string e(c.expression), n(c.name);
    *out << '"' << std::string(e.begin(), e.end()) << "\" vs \"" << std::string(n.begin(), n.end())
         << '"';
}

class NameExpressionCases : public ::testing::TestWithParam<Case> {};

TEST_P(NameExpressionCases, AgreesWithTheDocumentedSemantics) {
    const Case& c = GetParam();
    EXPECT_EQ(Matches(c.expression, c.name), c.matches);
    EXPECT_EQ(kernel::reference::IsNameInExpression(c.expression, c.name, true), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameExpressionCases,
    ::testing::Values(
        // Empty strings: an empty name matches only the empty expression, even against "*".
        Case{u"", u"", true}, Case{u"*", u"", false}, Case{u"", u"A", false},
        // Literals and case: the name is upper-cased, the expression is taken as it is.
        Case{u"ABC", u"abc", true}, Case{u"abc", u"abc", false}, Case{u"ABC", u"ABCD", false},
        // * crosses path separators; ? takes exactly one character.
        Case{u"\\DEVICE\\VOL1\\DATA\\*", u"\\Device\\Vol1\\data\\sub\\f.txt", true},
        Case{u"\\DEVICE\\VOL1\\DATA\\*", u"\\Device\\Vol1\\data", false},
        Case{u"*.TMP", u"\\dir.tmp\\x.TMP", true}, Case{u"*.TMP", u"\\dir.tmp\\x.txt", false},
        Case{u"A?C", u"abc", true}, Case{u"A?C", u"ac", false}, Case{u"A?", u"a.", true},
        Case{u"*A*A*B", u"xaayab", true}, Case{u"*A*A*B", u"xabbb", false},
        // DOS star: anything but the last period.
        Case{u"<", u"a.b", false}, Case{u"<.B", u"a.b", true}, Case{u"<.B", u"a.x.b", true},
        Case{u"<B", u"a.b", false}, Case{u"<", u"abc", true}, Case{u"<\"*", u"a.b", true},
        // DOS question mark: one non-period character, or nothing before a period or the end.
        Case{u">>>", u"ab", true}, Case{u">>>", u"abcd", false}, Case{u">.TXT", u"a.txt", true},
        Case{u">>.TXT", u"a.txt", true}, Case{u">.TXT", u".txt", true}, Case{u">", u".", false},
        Case{u"A>B", u"a.b", false},
        // DOS dot: a period, or nothing at the end of the name.
        Case{u"A\"", u"a", true}, Case{u"A\"", u"a.", true}, Case{u"A\"B", u"ab", false},
        Case{u"<\"<", u"abc", true}, Case{u"*\"TXT", u"a.txt", true}));

// Every expression of up to four characters over a small alphabet against every short name: the
// matcher and the plain reference give the same answer, with and without case.
TEST(NameExpression, AgreesWithTheReferenceOnEverySmallCase) {
    const std::u16string expressionAlphabet = u"a.*?<>\"";
    const std::u16string nameAlphabet = u"aA.";
    std::vector<std::u16string> expressions{u""};
    std::vector<std::u16string> names{u""};
    for (std::size_t from = 0; from < expressions.size(); ++from) {
        if (expressions[from].size() < 4) {
            for (char16_t c : expressionAlphabet) {
                expressions.push_back(expressions[from] + c);
            }
        }
    }
    for (std::size_t from = 0; from < names.size(); ++from) {
        if (names[from].size() < 5) {
            for (char16_t c : nameAlphabet) {
                names.push_back(names[from] + c);
            }
        }
    }
    for (const auto& expression : expressions) {
        for (const auto& name : names) {
            for (bool ignoreCase : {false, true}) {
                ASSERT_EQ(Matches(expression, name, ignoreCase),
                          kernel::reference::IsNameInExpression(expression, name, ignoreCase))
                    << "expression \"" << std::string(expression.begin(), expression.end())
                    << "\" name \"" << std::string(name.begin(), name.end()) << "\" ignoreCase "
                    << ignoreCase;
            }
        }
    }
}

// The state crosses word boundaries: positions 63, 64 and beyond carry matches correctly.
TEST(NameExpression, LongExpressionsUseEveryWordOfState) {
    const std::u16string expression = std::u16string(70, u'?') + u"*" + std::u16string(60, u'A');
    EXPECT_TRUE(Matches(expression, std::u16string(70, u'x') + std::u16string(60, u'a')));
    EXPECT_TRUE(Matches(expression, std::u16string(75, u'x') + std::u16string(60, u'a')));
    EXPECT_FALSE(Matches(expression, std::u16string(69, u'x') + std::u16string(60, u'a')));
    EXPECT_FALSE(Matches(expression, std::u16string(80, u'x') + std::u16string(59, u'a') + u"b"));
}

TEST(NameExpression, ReportsWildcards) {
    EXPECT_FALSE(kernel::DoesNameContainWildCards(View(u"\\DEVICE\\X")));
    for (const char16_t* e : {u"a*", u"?", u"<", u">", u"\""}) {
        EXPECT_TRUE(kernel::DoesNameContainWildCards(View(e)));
    }
}

}  // namespace
