#include "text.h"

#include <cstdint>

namespace user {

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t code = 0xFFFD;
        std::size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else {
            const int extra = c >= 0xF0 && c < 0xF5   ? 3
                              : c >= 0xE0             ? 2
                              : c >= 0xC2 && c < 0xE0 ? 1
                                                      : -1;
            if (extra > 0 && i + static_cast<std::size_t>(extra) < text.size()) {
                std::uint32_t value = c & (0x3F >> extra);
                bool ok = true;
                for (int k = 1; k <= extra; ++k) {
                    const auto next =
                        static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
                    if ((next & 0xC0) != 0x80) {
                        ok = false;
                        break;
                    }
                    value = (value << 6) | (next & 0x3F);
                }
                const std::uint32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
                if (ok && value >= minimum && value <= 0x10FFFF &&
                    (value < 0xD800 || value > 0xDFFF)) {
                    code = value;
                    length = static_cast<std::size_t>(extra) + 1;
                }
            }
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace user
