// Finding a piece of text in another, ignoring case.
#pragma once

#include <cstddef>
#include <string_view>

namespace vesk::driver {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first character position at which pattern occurs in text, comparing both upper-cased;
// kNotFound when either is empty or the pattern is longer than the text. Time: at most text
// length times pattern length comparisons, without allocating.
std::size_t FindIgnoringCase(std::u16string_view text, std::u16string_view pattern,
                             std::size_t from = 0);

}  // namespace vesk::driver
