// The engine speaks UTF-16LE; the console, the command line and the terminal speak UTF-8.
// Text that is not well-formed (an unpaired surrogate, a stray byte) converts with U+FFFD in its
// place, so a damaged name still prints and never stops the printer.
#pragma once

#include <string>
#include <string_view>

#include "vesk/vesklib.h"

namespace vesk::console {

std::string ToUtf8(std::u16string_view text);
// A null text converts to an empty one.
std::string ToUtf8(const VeskChar* text);
std::u16string FromUtf8(std::string_view text);

// Upper case of one UTF-16 unit (surrogate halves stay as they are).
char16_t UpperCase(char16_t c);

// ASCII lower case: filter letters and command words are ASCII.
std::string AsciiLowerCase(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace vesk::console
