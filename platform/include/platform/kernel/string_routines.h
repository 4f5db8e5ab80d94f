// Routines over counted UTF-16 strings: upper-casing, comparison, prefix tests and appending.
// None of them allocates; all may run at any IRQL as long as the strings' memory may be touched.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace kernel {

// The platform's upper-case mapping of one UTF-16 code unit: simple (one unit to one unit) case
// mapping; units without an upper-case form, and surrogate halves, map to themselves. Every
// case-insensitive comparison of the platform (names, registry keys, link names) uses it.
char16_t UpcaseUnicodeCharSlow(char16_t c);
inline char16_t UpcaseUnicodeChar(char16_t c) {
    if (c < 0x80) {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
    }
    return UpcaseUnicodeCharSlow(c);
}

inline std::uint16_t CharCount(const UnicodeString& s) {
    return static_cast<std::uint16_t>(s.Length / sizeof(char16_t));
}

// Points a string at text (no copy); nullptr gives an empty string.
void InitUnicodeString(UnicodeString* destination, const char16_t* text);

// <0, 0 or >0 as a sorts before, equal to or after b, unit by unit (after upper-casing both when
// caseInsensitive); a proper prefix sorts first.
std::int32_t CompareUnicodeString(const UnicodeString& a, const UnicodeString& b,
                                  bool caseInsensitive);
bool EqualUnicodeString(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive);

// True when prefix is a prefix of s (equal strings included).
bool PrefixUnicodeString(const UnicodeString& prefix, const UnicodeString& s, bool caseInsensitive);

// Appends to destination's text. STATUS_BUFFER_TOO_SMALL (destination unchanged) when the result
// does not fit MaximumLength. A 16-bit zero is written after the text when room is left for it.
NTSTATUS AppendUnicodeStringToString(UnicodeString* destination, const UnicodeString& source);
NTSTATUS AppendUnicodeToString(UnicodeString* destination, const char16_t* source);

// Upper-cases the text in place, unit by unit.
void UpcaseUnicodeStringInPlace(UnicodeString* s);

}  // namespace kernel
