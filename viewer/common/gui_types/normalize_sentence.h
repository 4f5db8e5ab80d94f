#pragma once

#include <string>
#include <string_view>

namespace nimbrel {

// A message as a sentence: "." appended unless it already ends in ".", "?" or "!".
std::string NormalizeSentence(std::string_view text);

}  // namespace nimbrel
