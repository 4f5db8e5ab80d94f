#include "text_conversion.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <limits>

namespace vesk::console {

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 3)) {
        return {};
    }
    // Every UTF-16 unit becomes at most three bytes (a surrogate pair four bytes for two units).
    std::string result(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), kReplacement, nullptr, &error);
    if (U_FAILURE(error)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string ToUtf8(const VeskChar* text) {
    return text != nullptr ? ToUtf8(std::u16string_view(text)) : std::string();
}

std::u16string FromUtf8(std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        return {};
    }
    // Every byte becomes at most one UTF-16 unit.
    std::u16string result(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), kReplacement, nullptr, &error);
    if (U_FAILURE(error)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

char16_t UpperCase(char16_t c) {
    if (U16_IS_SURROGATE(c)) {
        return c;
    }
    const UChar32 upper = u_toupper(c);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::string AsciiLowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return AsciiLowerCase(a) == AsciiLowerCase(b);
}

}  // namespace vesk::console
