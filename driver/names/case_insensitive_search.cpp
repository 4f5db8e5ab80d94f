#include "case_insensitive_search.h"

#include "platform/kernel/string_routines.h"

namespace vesk::driver {

std::size_t FindIgnoringCase(std::u16string_view text, std::u16string_view pattern,
                             std::size_t from) {
    if (text.empty() || pattern.empty() || pattern.size() > text.size()) {
        return kNotFound;
    }
    const char16_t first = kernel::UpcaseUnicodeChar(pattern[0]);
    for (std::size_t at = from; at + pattern.size() <= text.size(); ++at) {
        if (kernel::UpcaseUnicodeChar(text[at]) != first) {
            continue;
        }
        std::size_t i = 1;
        while (i < pattern.size() &&
               kernel::UpcaseUnicodeChar(text[at + i]) == kernel::UpcaseUnicodeChar(pattern[i])) {
            ++i;
        }
        if (i == pattern.size()) {
            return at;
        }
    }
    return kNotFound;
}

}  // namespace vesk::driver
