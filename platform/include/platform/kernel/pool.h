// Pool memory. Every block carries a four-letter tag naming its purpose; the pool counts
// allocations and frees per tag so that a test (or the host at shutdown) can prove nothing leaked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kernel {

enum class PoolType : std::uint8_t {
    NonPaged,  // usable at any IRQL
    Paged,     // only below DISPATCH_LEVEL
};

// Tags are written in source as their four characters; the value keeps the first character in
// the low byte, as memory dumps show them.
constexpr std::uint32_t MakePoolTag(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

// Returns nullptr when the memory cannot be had (or a test made this allocation fail).
// Paged memory requested at DISPATCH_LEVEL or above is a programming error and stops the system.
void* AllocatePool(PoolType type, std::size_t bytes, std::uint32_t tag);

// The tag must be the one the block was allocated with; a mismatch stops the system.
void FreePool(void* block, std::uint32_t tag);

}  // namespace kernel
