// The name pattern of the monitor: shell-style file-name patterns matched against the whole
// name (in drive-letter form, or the kernel's form when it has none).
//
// What it implements:
//   - The text is a list of patterns separated by ';'; a name matches when any of them
//     matches. Spaces at the start of each pattern are skipped; spaces anywhere else, trailing ones
//     included, are ordinary characters that the name must contain.
//   - '*' matches any run of characters, separators included ("*.txt" matches "/srv/a/b.txt");
//     '?' matches exactly one character. Every other character matches itself without regard to
//     case (per UTF-16 unit, simple upper-case mapping).
//   - A pattern that is exactly "*.*" matches every name, also one without a dot.
//   - An empty pattern (";;", or a list that ends in ';' and spaces) matches only an empty name.
// The match never backtracks more than once per character of the name: a long name against a
// pattern full of '*' costs at most name length times pattern length steps.
#pragma once

#include <string_view>

namespace vesk::console {

bool MatchesNamePattern(std::u16string_view name, std::u16string_view patterns);

}  // namespace vesk::console
