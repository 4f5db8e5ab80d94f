#include "rtl/base64.h"

#include <array>
#include <cstdint>

namespace nimbrel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 76;

constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr auto kDecodeTable = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view Bytes) {
    std::string text;
    const std::size_t chars = (Bytes.size() + 2) / 3 * 4;
    text.reserve(chars + chars / kLineLength * 2);
    std::size_t lineUsed = 0;
    auto put = [&](char c) {
        if (lineUsed == kLineLength) {
            text += "\r\n";
            lineUsed = 0;
        }
        text += c;
        ++lineUsed;
    };
    std::size_t i = 0;
    for (; i + 3 <= Bytes.size(); i += 3) {
        const std::uint32_t group = static_cast<unsigned char>(Bytes[i]) << 16 |
                                    static_cast<unsigned char>(Bytes[i + 1]) << 8 |
                                    static_cast<unsigned char>(Bytes[i + 2]);
        put(kAlphabet[group >> 18 & 63]);
        put(kAlphabet[group >> 12 & 63]);
        put(kAlphabet[group >> 6 & 63]);
        put(kAlphabet[group & 63]);
    }
    const std::size_t rest = Bytes.size() - i;
    if (rest > 0) {
        std::uint32_t group = static_cast<unsigned char>(Bytes[i]) << 16;
        if (rest == 2) {
            group |= static_cast<unsigned char>(Bytes[i + 1]) << 8;
        }
        put(kAlphabet[group >> 18 & 63]);
        put(kAlphabet[group >> 12 & 63]);
        put(rest == 2 ? kAlphabet[group >> 6 & 63] : '=');
        put('=');
    }
    return text;
}

std::string Base64Decode(std::string_view Text) {
    std::string bytes;
    bytes.reserve(Text.size() / 4 * 3);
    std::uint32_t group = 0;
    int count = 0;
    for (const char c : Text) {
        if (c == '=') {
            break;
        }
        const int value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value < 0) {
            continue;
        }
        group = group << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            bytes += static_cast<char>(group >> 16 & 0xFF);
            bytes += static_cast<char>(group >> 8 & 0xFF);
            bytes += static_cast<char>(group & 0xFF);
            group = 0;
            count = 0;
        }
    }
    if (count == 2) {
        bytes += static_cast<char>(group >> 4 & 0xFF);
    } else if (count == 3) {
        bytes += static_cast<char>(group >> 10 & 0xFF);
        bytes += static_cast<char>(group >> 2 & 0xFF);
    }
    return bytes;
}

}  // namespace nimbrel
