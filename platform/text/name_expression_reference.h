// A plain transcription of the expression semantics (see name_expression.h), one recursive rule
// per wildcard, memoised only so that it finishes. Tests and the fuzz target hold the matcher to
// it.
#pragma once

#include <string>
#include <vector>

#include "platform/kernel/string_routines.h"

namespace kernel::reference {

inline bool IsNameInExpression(const std::u16string& expression, std::u16string name,
                               bool ignoreCase) {
    const std::size_t m = expression.size();
    const std::size_t n = name.size();
    if (m == 0 || n == 0) {
        return m == 0 && n == 0;
    }
    if (ignoreCase) {
        for (char16_t& c : name) {
            c = UpcaseUnicodeChar(c);
        }
    }
    const std::size_t lastPeriod = name.rfind(u'.');
    std::vector<signed char> memo((m + 1) * (n + 1), -1);

    auto match = [&](auto&& self, std::size_t p, std::size_t i) -> bool {
        signed char& known = memo[p * (n + 1) + i];
        if (known >= 0) {
            return known != 0;
        }
        bool result;
        if (p == m) {
            result = i == n;
        } else {
            const char16_t x = expression[p];
            const bool more = i < n;
            const char16_t c = more ? name[i] : u'\0';
            switch (x) {
                case u'*':
                    result = self(self, p + 1, i) || (more && self(self, p, i + 1));
                    break;
                case u'<':
                    result = self(self, p + 1, i) ||
                             (more && (c != u'.' || i != lastPeriod) && self(self, p, i + 1));
                    break;
                case u'?':
                    result = more && self(self, p + 1, i + 1);
                    break;
                case u'>':
                    result = (more && c != u'.' && self(self, p + 1, i + 1)) ||
                             ((!more || c == u'.') && self(self, p + 1, i));
                    break;
                case u'"':
                    result = (more && c == u'.' && self(self, p + 1, i + 1)) ||
                             (!more && self(self, p + 1, i));
                    break;
                default:
                    result = more && c == x && self(self, p + 1, i + 1);
                    break;
            }
        }
        known = result ? 1 : 0;
        return result;
    };
    return match(match, 0, 0);
}

}  // namespace kernel::reference
