// The request transport every control and I/O request goes through: the 4-byte command code and
// the payload, answered by the driver in the calling thread. Uses the initialised library's
// connection, or a temporary one (without connection context) when there is none, which the
// driver refuses while another process holds its only connection.
#pragma once

#include <cstdint>

namespace vesk::engine {

// True on success, with *replyLength (may be nullptr) set and the last error 0. On failure the
// last error is the low 16 bits of the platform's result, or 8 when memory ran out.
bool SendRequest(std::uint32_t command, const void* payload, std::uint32_t payloadLength,
                 void* reply, std::uint32_t replyCapacity, std::uint32_t* replyLength);

}  // namespace vesk::engine
