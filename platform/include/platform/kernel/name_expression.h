// The platform's file-name expression matcher.
//
// Expression syntax:
//   *  any run of characters, empty included (path separators too);
//   ?  exactly one character;
//   <  (DOS star) any run of characters that does not take the last period of the name;
//   >  (DOS question mark) one character other than a period; at a period or at the end of the
//      name it matches nothing, so a run of them also matches shorter names ("A>>" matches "A");
//   "  (DOS dot) a period, or nothing at the end of the name.
// Every other character matches itself. An empty name matches only an empty expression.
//
// With ignoreCase the name is upper-cased unit by unit while it is read; the expression is taken
// as it is, so a case-insensitive caller upper-cases it once beforehand.
//
// The matcher follows all possible positions in the expression at once (one bit each), so its
// time is at most proportional to the name length times the expression length, whatever the
// wildcards: there is no backtracking. It never allocates: the caller hands it the bit set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/kernel/unicode_string.h"

namespace kernel {

constexpr char16_t kDosStar = u'<';
constexpr char16_t kDosQuestionMark = u'>';
constexpr char16_t kDosDot = u'"';

// Words of state IsNameInExpression needs for an expression of this many bytes.
constexpr std::size_t NameExpressionStateWords(std::uint16_t expressionBytes) {
    return (expressionBytes / sizeof(char16_t) + 1 + 63) / 64;
}

// state must hold at least NameExpressionStateWords(expression.Length) words; a smaller one is a
// programming error and stops the system. Its content on entry does not matter.
bool IsNameInExpression(const UnicodeString& expression, const UnicodeString& name, bool ignoreCase,
                        std::span<std::uint64_t> state);

// True when the expression contains any of the five wildcard characters.
bool DoesNameContainWildCards(const UnicodeString& expression);

}  // namespace kernel
