// Builds a notification message in exactly one non-paged pool block (tag "Fmsg"): header, name, its
// terminator, the acting thread's SID, then room for the payload. The delivery thread sends that
// one block as it is.
#pragma once

#include <cstdint>

#include "platform/kernel/process.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "wire/port_wire.h"

namespace vesk::driver {

struct MessageParameters {
    kernel::Thread* actingThread = nullptr;
    std::uint32_t volumeId = 0;
    std::uint32_t fileObjectId = 0;
    const kernel::UnicodeString* name = nullptr;  // nullptr: no name
    std::uint16_t volumePrefixLength = 0;          // characters
    std::uint32_t category = 0;
    std::uint32_t operation = 0;
    std::uint32_t status = 0;
    std::uint32_t payloadLength = 0;
};

struct BuiltMessage {
    wire::NotificationHeader* message = nullptr;
    std::uint8_t* payload = nullptr;  // payloadLength bytes, uninitialised, at any alignment
    std::uint32_t totalLength = 0;
};

// Fails with the identity's status when the acting thread's identity cannot be had, with
// STATUS_INSUFFICIENT_RESOURCES when the memory cannot, and with STATUS_INTEGER_OVERFLOW when the
// parts do not fit a 32-bit length. On failure nothing is allocated.
kernel::NTSTATUS BuildMessage(const MessageParameters& parameters, BuiltMessage* built);

// For a message that will not be queued (its payload could not be written, say).
void FreeMessage(wire::NotificationHeader* message);

}  // namespace vesk::driver
