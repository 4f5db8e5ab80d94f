// Reads notification messages back for tests: checks every length before using it, as a real
// reader must, and splits the record into header, name, SID and payload.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "wire/port_wire.h"

namespace vesk::testing {

struct ParsedNotification {
    wire::NotificationHeader header;
    std::u16string name;
    std::vector<std::uint8_t> sid;
    std::vector<std::uint8_t> payload;
    std::uint32_t sidOffset = 0;
    std::uint32_t payloadOffset = 0;
};

// A message as the driver built it (no port header). Empty when any length is inconsistent.
std::optional<ParsedNotification> ParseNotification(std::span<const std::uint8_t> message);

// What a client received: the 16-byte port header, then the message.
std::optional<ParsedNotification> ParseReceived(std::span<const std::uint8_t> received);

std::u16string U16(const char* ascii);

}  // namespace vesk::testing
