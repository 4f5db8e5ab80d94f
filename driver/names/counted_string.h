// Counted strings built by the driver: the header and the characters in one pool block (tag
// "Fstr"), the text always followed by a 16-bit zero inside the capacity. A block stays below
// 64 KiB, so a capacity (text and zero) of 0xFFF6 bytes or more is refused.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

constexpr std::uint32_t kCountedStringCapacityLimit = 0xFFF6;

// An empty string with room for textBytes bytes of text (rounded up to whole characters) and the
// zero. STATUS_INSUFFICIENT_RESOURCES when refused or when the pool has no memory.
kernel::NTSTATUS AllocateCountedString(std::uint32_t textBytes, kernel::PoolType type,
                                       kernel::UnicodeString** string);
void FreeCountedString(kernel::UnicodeString* string);

// A new string holding the pieces one after the other (whole characters only).
kernel::NTSTATUS ConcatenateCountedString(std::u16string_view first, std::u16string_view second,
                                          kernel::PoolType type, kernel::UnicodeString** string);

inline std::u16string_view View(const kernel::UnicodeString& s) {
    return std::u16string_view(s.Buffer, s.Length / sizeof(char16_t));
}

// Owns a counted string; frees it on every path out of a scope unless released.
class CountedStringHolder {
  public:
    CountedStringHolder() = default;
    explicit CountedStringHolder(kernel::UnicodeString* string) : string_(string) {}
    ~CountedStringHolder() { Reset(); }
    CountedStringHolder(const CountedStringHolder&) = delete;
    CountedStringHolder& operator=(const CountedStringHolder&) = delete;

    kernel::UnicodeString* Get() const { return string_; }
    kernel::UnicodeString** Receive() {
        Reset();
        return &string_;
    }
    kernel::UnicodeString* Release() {
        kernel::UnicodeString* s = string_;
        string_ = nullptr;
        return s;
    }
    void Reset() {
        if (string_ != nullptr) {
            FreeCountedString(string_);
            string_ = nullptr;
        }
    }

  private:
    kernel::UnicodeString* string_ = nullptr;
};

// Formats ASCII text (printf conventions) into destination's buffer as UTF-16, within its
// MaximumLength and with a zero after the text, at most 511 characters. STATUS_BUFFER_OVERFLOW
// when it does not fit; destination's length is then 0.
kernel::NTSTATUS FormatCountedString(kernel::UnicodeString* destination, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace vesk::driver
