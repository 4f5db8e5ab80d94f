#include "platform/kernel/name_expression.h"

#include "platform/kernel/irql.h"
#include "platform/kernel/string_routines.h"

namespace kernel {
namespace {

// Positions 0..m of the expression, one bit each: position p means "the characters read so far
// can be matched by expression characters 0..p-1". Position m accepts.
class PositionSet {
  public:
    explicit PositionSet(std::span<std::uint64_t> words) : words_(words) {}

    bool Test(std::size_t p) const { return (words_[p / 64] >> (p % 64)) & 1U; }
    void Put(std::size_t p, bool on) {
        const std::uint64_t bit = std::uint64_t{1} << (p % 64);
        words_[p / 64] = on ? (words_[p / 64] | bit) : (words_[p / 64] & ~bit);
    }

  private:
    std::span<std::uint64_t> words_;
};

bool IsStar(char16_t e) {
    return e == u'*' || e == kDosStar;
}

bool IsWildcard(char16_t e) {
    return e == u'*' || e == u'?' || e == kDosStar || e == kDosQuestionMark || e == kDosDot;
}

}  // namespace

bool IsNameInExpression(const UnicodeString& expression, const UnicodeString& name, bool ignoreCase,
                        std::span<std::uint64_t> state) {
    const std::size_t m = CharCount(expression);
    const std::size_t n = CharCount(name);
    if (m == 0 || n == 0) {
        return m == 0 && n == 0;
    }
    if (m == 1 && expression.Buffer[0] == u'*') {
        return true;
    }
    if (state.size() < NameExpressionStateWords(expression.Length)) {
        BugCheck("IsNameInExpression: state smaller than the expression needs");
    }
    const char16_t* e = expression.Buffer;
    auto nameAt = [&](std::size_t i) {
        return ignoreCase ? UpcaseUnicodeChar(name.Buffer[i]) : name.Buffer[i];
    };

    // Literal characters before the first wildcard and after the last one must be the name's
    // first and last characters: most expressions are rejected here without following states.
    std::size_t prefix = 0;
    while (prefix < m && !IsWildcard(e[prefix])) {
        if (prefix == n || nameAt(prefix) != e[prefix]) {
            return false;
        }
        ++prefix;
    }
    if (prefix == m) {
        return n == m;
    }
    std::size_t suffix = 0;
    while (suffix < m - prefix && !IsWildcard(e[m - 1 - suffix])) {
        if (suffix == n - prefix || nameAt(n - 1 - suffix) != e[m - 1 - suffix]) {
            return false;
        }
        ++suffix;
    }

    // A DOS star may take any period of the name but the last one.
    std::size_t lastPeriod = n;
    for (std::size_t i = n; i-- > 0;) {
        if (name.Buffer[i] == u'.') {
            lastPeriod = i;
            break;
        }
    }

    // Invariant: every bit outside [lo, hi] is clear. Positions only ever move forward, so lo
    // never decreases and the scans that trim the range cost O(m + n) in total.
    PositionSet set(state);
    for (std::size_t w = 0; w < NameExpressionStateWords(expression.Length); ++w) {
        state[w] = 0;
    }
    // The literal prefix has been matched: the walk starts after it.
    set.Put(prefix, true);
    std::size_t lo = prefix;
    std::size_t hi = prefix;

    // Adds the positions reachable without reading a character, given what comes next: the
    // character c, or the end of the name.
    auto closure = [&](bool atEnd, char16_t c) {
        for (std::size_t p = lo; p <= hi && p < m; ++p) {
            if (!set.Test(p)) {
                continue;
            }
            const char16_t x = e[p];
            const bool skip = IsStar(x) || (x == kDosQuestionMark && (atEnd || c == u'.')) ||
                              (x == kDosDot && atEnd);
            if (skip) {
                set.Put(p + 1, true);
                if (p + 1 > hi) {
                    hi = p + 1;
                }
            }
        }
    };

    for (std::size_t i = prefix; i < n; ++i) {
        const char16_t c = nameAt(i);
        closure(false, c);

        auto advances = [&](std::size_t p) {
            const char16_t x = e[p];
            switch (x) {
                case u'*':
                case kDosStar:
                    return false;
                case u'?':
                    return true;
                case kDosQuestionMark:
                    return c != u'.';
                case kDosDot:
                    return c == u'.';
                default:
                    return x == c;
            }
        };
        auto stays = [&](std::size_t p) {
            return p < m && (e[p] == u'*' || (e[p] == kDosStar && (c != u'.' || i != lastPeriod)));
        };

        // Descending, so that each step reads positions p and p+1 before either is rewritten.
        const std::size_t top = hi < m ? hi : m - 1;
        for (std::size_t p = top + 1; p-- > lo;) {
            const bool next = (set.Test(p) && advances(p)) || (set.Test(p + 1) && stays(p + 1));
            set.Put(p + 1, next);
        }
        set.Put(lo, set.Test(lo) && stays(lo));
        hi = top + 1;

        while (lo <= hi && !set.Test(lo)) {
            ++lo;
        }
        if (lo > hi) {
            return false;
        }
        while (!set.Test(hi)) {
            --hi;
        }
    }
    closure(true, u'\0');
    return hi == m && set.Test(m);
}

bool DoesNameContainWildCards(const UnicodeString& expression) {
    const std::uint16_t chars = CharCount(expression);
    for (std::uint16_t i = 0; i < chars; ++i) {
        if (IsWildcard(expression.Buffer[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace kernel
