// UTF-8 and UTF-16 conversions of the user-mode face (Linux speaks UTF-8, the face UTF-16).
// Ill-formed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace user {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace user
