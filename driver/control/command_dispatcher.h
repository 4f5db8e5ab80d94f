// Decodes, checks and dispatches control messages. Runs in the sender's thread; several threads
// of the client may be inside at once. No command changes any state when its size checks fail.
#pragma once

#include <cstdint>

#include "core/driver_state.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

// The port's message callback. input/output may be nullptr (with their lengths 0).
kernel::NTSTATUS DispatchControlMessage(DriverState& driver, const void* input,
                                        std::uint32_t inputLength, void* output,
                                        std::uint32_t outputLength, std::uint32_t* replyLength);

}  // namespace vesk::driver
