// Holds the matcher to the plain reference for any expression and name. The input is split at
// its first zero byte; each byte picks a character from a small alphabet rich in wildcards,
// periods and letters of both cases (plus one that only upper-cases outside ASCII), so that the
// interesting interactions come up often.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "name_expression_reference.h"
#include "platform/kernel/name_expression.h"

namespace {

constexpr char16_t kAlphabet[] = {u'a', u'A', u'b', u'.',  u'*',      u'?',
                                  u'<', u'>', u'"', u'\\', u'\u00e4', u'\u00c4'};

std::u16string Decode(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(kAlphabet[data[i] % (sizeof(kAlphabet) / sizeof(kAlphabet[0]))]);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 400) {
        return 0;
    }
    const bool ignoreCase = (data[0] & 1) != 0;
    ++data;
    --size;
    std::size_t split = 0;
    while (split < size && data[split] != 0) {
        ++split;
    }
    std::u16string expression = Decode(data, split);
    const std::u16string name =
        Decode(data + split + (split < size ? 1 : 0), size - split - (split < size ? 1 : 0));
    if (ignoreCase) {
        // Callers upper-case the expression before a case-insensitive match.
        for (char16_t& c : expression) {
            c = kernel::UpcaseUnicodeChar(c);
        }
    }

    kernel::UnicodeString e{static_cast<std::uint16_t>(expression.size() * 2),
                            static_cast<std::uint16_t>(expression.size() * 2), expression.data()};
    kernel::UnicodeString n{static_cast<std::uint16_t>(name.size() * 2),
                            static_cast<std::uint16_t>(name.size() * 2),
                            const_cast<char16_t*>(name.data())};
    std::vector<std::uint64_t> state(kernel::NameExpressionStateWords(e.Length));
    const bool fast = kernel::IsNameInExpression(e, n, ignoreCase, state);
    const bool plain = kernel::reference::IsNameInExpression(expression, name, ignoreCase);
    if (fast != plain) {
        std::fprintf(stderr, "matcher %d, reference %d\n", fast, plain);
        std::abort();
    }
    return 0;
}
