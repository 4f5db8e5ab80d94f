// Counted UTF-16 string: a byte length, a byte capacity and the characters. Every string the
// driver builds keeps a 16-bit zero after its text (not counted in Length, inside MaximumLength).
#pragma once

#include <cstdint>

namespace kernel {

struct UnicodeString {
    std::uint16_t Length;         // bytes of text
    std::uint16_t MaximumLength;  // bytes of Buffer
    char16_t* Buffer;
};

// Points a string at constant text (no copy); the text must outlive the string.
inline UnicodeString ConstantUnicodeString(const char16_t* text) {
    std::uint16_t chars = 0;
    while (text[chars] != u'\0') {
        ++chars;
    }
    const auto bytes = static_cast<std::uint16_t>(chars * sizeof(char16_t));
    return UnicodeString{bytes, static_cast<std::uint16_t>(bytes + sizeof(char16_t)),
                         const_cast<char16_t*>(text)};
}

}  // namespace kernel
