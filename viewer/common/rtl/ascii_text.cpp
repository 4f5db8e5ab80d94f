#include "rtl/ascii_text.h"

#include <algorithm>

namespace nimbrel {

std::string AsciiLowerCase(std::string_view Text) {
    std::string lower(Text);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool SameText(std::string_view A, std::string_view B) {
    return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace nimbrel
