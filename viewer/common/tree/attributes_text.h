// File attribute flags (the Windows bit layout the server reports) as letters.
#pragma once

#include <cstdint>
#include <string>

namespace nimbrel {

// One letter per set flag in the order D (0x10 directory), A (0x20 archive), S (0x4 system),
// H (0x2 hidden), R (0x1 read-only), T (0x100 temporary), C (0x800 compressed), E (0x4000
// encrypted), V (0x10000 virtual), O (0x1000 offline); every other bit gives no letter.
std::string AttributesToText(std::uint32_t Attributes);

}  // namespace nimbrel
