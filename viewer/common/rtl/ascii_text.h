// Comparisons and case changes of ASCII letters only, as the wire format's names and the HTTP
// header values need them (independent of the user's locale).
#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

constexpr char AsciiLower(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
}

std::string AsciiLowerCase(std::string_view Text);

// Equal when only the case of ASCII letters differs.
bool SameText(std::string_view A, std::string_view B);

}  // namespace nimbrel
