// The library's string descriptor helpers and the release of the texts it hands out.

#include <cstdlib>
#include <cstring>

#include "library_strings.h"

namespace vesk::engine {

std::size_t TextLength(const VeskChar* text) {
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool HoldsBuffer(const VeskString& s) {
    return s.Buffer != nullptr && s.Capacity != 0;
}

bool IsLibraryBuffer(const VeskString& s) {
    return (s.Flags & VeskStringLibraryBuffer) != 0;
}

void ReleaseLibraryBuffer(VeskString* s) {
    if (IsLibraryBuffer(*s)) {
        std::free(s->Buffer);
        s->Buffer = nullptr;
        s->Capacity = 0;
        s->Flags &= static_cast<std::uint8_t>(~VeskStringLibraryBuffer);
    }
}

VeskChar* CopyText(const std::u16string& text) {
    auto* block = static_cast<VeskChar*>(std::malloc((text.size() + 1) * sizeof(VeskChar)));
    if (block != nullptr) {
        std::memcpy(block, text.data(), text.size() * sizeof(VeskChar));
        block[text.size()] = 0;
    }
    return block;
}

}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" {

VESK_API VeskBool VeskInitString(VeskString* string, VeskChar* buffer, uint16_t capacity) {
    if (string == nullptr || (buffer == nullptr && capacity != 0)) {
        return 0;
    }
    string->Flags &= static_cast<std::uint8_t>(~VeskStringLibraryBuffer);
    string->Buffer = buffer;
    string->Capacity = capacity;
    return 1;
}

VESK_API VeskBool VeskCreateString(VeskString* string, uint16_t minimumCapacity,
                                   const VeskChar* source, uint16_t sourceLength) {
    if (string == nullptr || (source == nullptr && sourceLength != 0)) {
        return 0;
    }
    // Computed in 32 bits: a text longer than a 16-bit capacity can describe is refused rather
    // than cut to a buffer too small for it.
    const std::uint32_t textBytes =
        sourceLength != 0
            ? sourceLength
            : (source != nullptr ? static_cast<std::uint32_t>(TextLength(source) * 2) : 0);
    const std::uint32_t bufferSize = textBytes > minimumCapacity ? textBytes : minimumCapacity;
    if (bufferSize == 0 || bufferSize % 2 != 0 || bufferSize > 0xFFFF) {
        return 0;
    }
    auto* buffer = static_cast<std::uint8_t*>(std::malloc(bufferSize + 2));
    if (buffer == nullptr) {
        return 0;
    }
    std::memset(buffer, 0, bufferSize + 2);
    if (textBytes != 0) {
        std::memcpy(buffer, source, textBytes);
    }
    string->Buffer = reinterpret_cast<VeskChar*>(buffer);
    string->Flags |= VeskStringLibraryBuffer;
    string->Capacity = sourceLength > minimumCapacity ? sourceLength : minimumCapacity;
    return 1;
}

VESK_API VeskBool VeskDeleteString(VeskString* string) {
    if (string == nullptr || string->Buffer == nullptr || !IsLibraryBuffer(*string)) {
        return 0;
    }
    ReleaseLibraryBuffer(string);  // empty again, so the descriptor can be used once more
    return 1;
}

VESK_API void VeskFreeString(VeskChar** text) {
    if (text != nullptr && *text != nullptr) {
        std::free(*text);
        *text = nullptr;
    }
}

}  // extern "C"
