// Identifiers: random (version 4) and time-ordered (version 1) UUIDs, in the 16-byte GUID layout
// (Data1, Data2 and Data3 little-endian, then eight bytes).
#pragma once

#include <cstdint>

namespace user {

// random: version 4 from the system's random source. Otherwise version 1: a 60-bit count of
// 100 ns intervals since 1582-10-15 that strictly increases within the process, a random clock
// sequence and a random node (multicast bit set, as for a node without a network address).
// 0 on success, otherwise the error code of the random source (through the errno table).
std::uint32_t CreateUuid(bool random, std::uint8_t guid[16]);

}  // namespace user
