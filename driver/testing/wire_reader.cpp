#include "wire_reader.h"

#include <cstring>

namespace vesk::testing {

std::optional<ParsedNotification> ParseNotification(std::span<const std::uint8_t> message) {
    ParsedNotification parsed;
    if (message.size() < sizeof(wire::NotificationHeader) + 2) {
        return std::nullopt;
    }
    std::memcpy(&parsed.header, message.data(), sizeof parsed.header);
    const auto& h = parsed.header;
    if (h.TotalLength != message.size() || h.NameLength % 2 != 0) {
        return std::nullopt;
    }
    std::uint64_t offset = sizeof(wire::NotificationHeader);
    if (offset + h.NameLength + 2 > message.size()) {
        return std::nullopt;
    }
    parsed.name.resize(h.NameLength / 2);
    std::memcpy(parsed.name.data(), message.data() + offset, h.NameLength);
    offset += h.NameLength;
    if (message[offset] != 0 || message[offset + 1] != 0) {
        return std::nullopt;
    }
    offset += 2;
    if (offset + 8 > message.size()) {
        return std::nullopt;
    }
    const std::uint32_t sidLength = 8 + 4 * message[offset + 1];
    if (offset + sidLength > message.size()) {
        return std::nullopt;
    }
    parsed.sidOffset = static_cast<std::uint32_t>(offset);
    parsed.sid.assign(message.begin() + offset, message.begin() + offset + sidLength);
    offset += sidLength;
    if (offset + h.PayloadLength != message.size()) {
        return std::nullopt;
    }
    parsed.payloadOffset = static_cast<std::uint32_t>(offset);
    parsed.payload.assign(message.begin() + offset, message.end());
    return parsed;
}

std::optional<ParsedNotification> ParseReceived(std::span<const std::uint8_t> received) {
    if (received.size() < 16) {
        return std::nullopt;
    }
    return ParseNotification(received.subspan(16));
}

std::u16string U16(const char* ascii) {
    std::u16string text;
    for (; *ascii != '\0'; ++ascii) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii)));
    }
    return text;
}

}  // namespace vesk::testing
