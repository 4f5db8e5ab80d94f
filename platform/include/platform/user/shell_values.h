// The shell's value-setting call: writes one value of a key below HKEY_LOCAL_MACHINE, creating
// the key and every missing key above it first.
#pragma once

#include <cstdint>
#include <string_view>

namespace user {

enum : std::uint32_t {
    kRegSz = 1,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
    kRegQword = 11,
};

// 0 on success; 5 when the caller is not root; 87 for data without a size or a null pointer with
// one; 123 for an invalid key or value name; 1016 when the registry cannot be written.
std::uint32_t SetMachineValue(std::u16string_view subKey, std::u16string_view valueName,
                              std::uint32_t type, const void* data, std::uint32_t size);

}  // namespace user
