#include "platform/kernel/string_routines.h"

#include <unicode/uchar.h>

#include <cstring>

namespace kernel {

char16_t UpcaseUnicodeCharSlow(char16_t c) {
    // Simple case mapping keeps one unit for one unit; a mapping that would leave the basic
    // plane (none exists today) keeps the unit as it is, so lengths never change.
    const UChar32 upper = u_toupper(static_cast<UChar32>(c));
    return upper >= 0 && upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

void InitUnicodeString(UnicodeString* destination, const char16_t* text) {
    if (text == nullptr) {
        *destination = UnicodeString{0, 0, nullptr};
        return;
    }
    *destination = ConstantUnicodeString(text);
}

std::int32_t CompareUnicodeString(const UnicodeString& a, const UnicodeString& b,
                                  bool caseInsensitive) {
    const std::uint16_t aChars = CharCount(a);
    const std::uint16_t bChars = CharCount(b);
    const std::uint16_t common = aChars < bChars ? aChars : bChars;
    for (std::uint16_t i = 0; i < common; ++i) {
        char16_t x = a.Buffer[i];
        char16_t y = b.Buffer[i];
        if (caseInsensitive) {
            x = UpcaseUnicodeChar(x);
            y = UpcaseUnicodeChar(y);
        }
        if (x != y) {
            return static_cast<std::int32_t>(x) - static_cast<std::int32_t>(y);
        }
    }
    return static_cast<std::int32_t>(aChars) - static_cast<std::int32_t>(bChars);
}

bool EqualUnicodeString(const UnicodeString& a, const UnicodeString& b, bool caseInsensitive) {
    return CharCount(a) == CharCount(b) && CompareUnicodeString(a, b, caseInsensitive) == 0;
}

bool PrefixUnicodeString(const UnicodeString& prefix, const UnicodeString& s,
                         bool caseInsensitive) {
    const std::uint16_t chars = CharCount(prefix);
    if (chars > CharCount(s)) {
        return false;
    }
    for (std::uint16_t i = 0; i < chars; ++i) {
        char16_t x = prefix.Buffer[i];
        char16_t y = s.Buffer[i];
        if (caseInsensitive) {
            x = UpcaseUnicodeChar(x);
            y = UpcaseUnicodeChar(y);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

NTSTATUS AppendUnicodeStringToString(UnicodeString* destination, const UnicodeString& source) {
    const std::uint16_t sourceBytes = static_cast<std::uint16_t>(source.Length & ~1U);
    const std::uint32_t total = static_cast<std::uint32_t>(destination->Length) + sourceBytes;
    if (total > destination->MaximumLength) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (sourceBytes != 0) {
        // memmove: appending a string to itself is allowed.
        std::memmove(reinterpret_cast<std::uint8_t*>(destination->Buffer) + destination->Length,
                     source.Buffer, sourceBytes);
    }
    destination->Length = static_cast<std::uint16_t>(total);
    if (total + sizeof(char16_t) <= destination->MaximumLength) {
        destination->Buffer[total / sizeof(char16_t)] = u'\0';
    }
    return STATUS_SUCCESS;
}

NTSTATUS AppendUnicodeToString(UnicodeString* destination, const char16_t* source) {
    UnicodeString s;
    InitUnicodeString(&s, source);
    return AppendUnicodeStringToString(destination, s);
}

void UpcaseUnicodeStringInPlace(UnicodeString* s) {
    const std::uint16_t chars = CharCount(*s);
    for (std::uint16_t i = 0; i < chars; ++i) {
        s->Buffer[i] = UpcaseUnicodeChar(s->Buffer[i]);
    }
}

}  // namespace kernel
