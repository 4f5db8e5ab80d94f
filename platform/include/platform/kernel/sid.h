// Security identifiers in their binary form: revision byte, sub-authority count byte, 6-byte
// big-endian identifier authority, then 32-bit little-endian sub-authorities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/status.h"

namespace kernel {

constexpr std::uint8_t kSidRevision = 1;
constexpr std::uint8_t kSidMaxSubAuthorities = 15;
constexpr std::size_t kSidMaxLength = 8 + 4 * kSidMaxSubAuthorities;  // 68

constexpr std::size_t SidLengthRequired(std::uint8_t subAuthorities) {
    return 8 + 4 * static_cast<std::size_t>(subAuthorities);
}

// A SID is valid when its revision is 1, it has at most 15 sub-authorities and fits available
// bytes (pass the size of the buffer that holds it).
bool IsValidSid(const void* sid, std::size_t available);

// Length of a SID already known to be valid.
std::size_t SidLength(const void* sid);

// Copies a SID into a buffer of destinationLength bytes: STATUS_BUFFER_TOO_SMALL when it does
// not fit.
NTSTATUS CopySid(std::size_t destinationLength, void* destination, const void* source);

// "S-1-5-18" and back. Parsing fails (empty result) on anything that is not a valid SID text.
std::vector<std::uint8_t> SidFromString(std::string_view text);
std::string SidToString(const void* sid);

}  // namespace kernel
