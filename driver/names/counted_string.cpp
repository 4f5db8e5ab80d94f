#include "counted_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/pool_tags.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS AllocateCountedString(std::uint32_t textBytes, PoolType type, UnicodeString** string) {
    textBytes = (textBytes + 1) & ~1U;
    const std::uint32_t capacity = textBytes + sizeof(char16_t);
    if (capacity >= kCountedStringCapacityLimit) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    void* block = AllocatePool(type, sizeof(UnicodeString) + capacity, kTagString);
    if (block == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* s = static_cast<UnicodeString*>(block);
    s->Length = 0;
    s->MaximumLength = static_cast<std::uint16_t>(capacity);
    s->Buffer = reinterpret_cast<char16_t*>(s + 1);
    s->Buffer[0] = u'\0';
    *string = s;
    return STATUS_SUCCESS;
}

void FreeCountedString(UnicodeString* string) {
    FreePool(string, kTagString);
}

NTSTATUS ConcatenateCountedString(std::u16string_view first, std::u16string_view second,
                                  PoolType type, UnicodeString** string) {
    const std::uint32_t bytes =
        static_cast<std::uint32_t>((first.size() + second.size()) * sizeof(char16_t));
    UnicodeString* s = nullptr;
    const NTSTATUS status = AllocateCountedString(bytes, type, &s);
    if (!NtSuccess(status)) {
        return status;
    }
    if (!first.empty()) {
        std::memcpy(s->Buffer, first.data(), first.size() * sizeof(char16_t));
    }
    if (!second.empty()) {
        std::memcpy(s->Buffer + first.size(), second.data(), second.size() * sizeof(char16_t));
    }
    s->Length = static_cast<std::uint16_t>(bytes);
    s->Buffer[bytes / sizeof(char16_t)] = u'\0';
    *string = s;
    return STATUS_SUCCESS;
}

NTSTATUS FormatCountedString(UnicodeString* destination, const char* format, ...) {
    destination->Length = 0;
    char narrow[512];
    std::size_t chars = destination->MaximumLength / sizeof(char16_t);
    if (chars > sizeof narrow) {
        chars = sizeof narrow;
    }
    if (chars == 0) {
        return STATUS_BUFFER_OVERFLOW;
    }
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(narrow, chars, format, arguments);
    va_end(arguments);
    // The text and its zero must both fit.
    if (written < 0 || static_cast<std::size_t>(written) >= chars) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (int i = 0; i <= written; ++i) {
        destination->Buffer[i] = static_cast<unsigned char>(narrow[i]);
    }
    destination->Length = static_cast<std::uint16_t>(written * sizeof(char16_t));
    return STATUS_SUCCESS;
}

}  // namespace vesk::driver
