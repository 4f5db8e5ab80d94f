// Checks a received notification record before anything points into it: every length it states
// must agree with what arrived, and every text it carries must end with its 16-bit zero where the
// record says. The dispatch thread then fills the client records without further checks.
#pragma once

#include <cstdint>
#include <span>

namespace vesk::engine {

// The record's own length once the port header is taken off: 0 when received (the bytes the
// port delivered, header included) is too short for it. Sets *error to 232 for fewer than 80
// bytes and 1359 for a length field beyond what arrived.
std::uint32_t ReceivedRecordLength(std::span<const std::uint8_t> received, std::uint32_t* error);

// True when the record (exactly TotalLength bytes) is consistent: header, name and terminator,
// a valid SID, the payload, and the fixed part and texts of the payload its class has.
bool RecordIsSound(std::span<const std::uint8_t> record);

}  // namespace vesk::engine
