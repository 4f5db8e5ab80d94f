#include "platform/kernel/sid.h"

#include <charconv>
#include <cstring>

namespace kernel {

bool IsValidSid(const void* sid, std::size_t available) {
    if (sid == nullptr || available < 8) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    return bytes[0] == kSidRevision && bytes[1] <= kSidMaxSubAuthorities &&
           SidLengthRequired(bytes[1]) <= available;
}

std::size_t SidLength(const void* sid) {
    return SidLengthRequired(static_cast<const std::uint8_t*>(sid)[1]);
}

NTSTATUS CopySid(std::size_t destinationLength, void* destination, const void* source) {
    const std::size_t length = SidLength(source);
    if (destinationLength < length) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(destination, source, length);
    return STATUS_SUCCESS;
}

std::vector<std::uint8_t> SidFromString(std::string_view text) {
    // S-<revision>-<authority>(-<sub-authority>)*
    if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') {
        return {};
    }
    std::vector<std::uint64_t> numbers;
    std::size_t pos = 2;
    while (pos <= text.size()) {
        const std::size_t dash = text.find('-', pos);
        const std::string_view part = text.substr(pos, dash == std::string_view::npos ? text.npos : dash - pos);
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc() || end != part.data() + part.size()) {
            return {};
        }
        numbers.push_back(value);
        if (dash == std::string_view::npos) {
            break;
        }
        pos = dash + 1;
    }
    if (numbers.size() < 2 || numbers[0] != kSidRevision || numbers[1] > 0xFFFFFFFFFFFFULL ||
        numbers.size() - 2 > kSidMaxSubAuthorities) {
        return {};
    }
    const auto count = static_cast<std::uint8_t>(numbers.size() - 2);
    std::vector<std::uint8_t> sid(SidLengthRequired(count));
    sid[0] = kSidRevision;
    sid[1] = count;
    for (int i = 0; i < 6; ++i) {
        sid[2 + i] = static_cast<std::uint8_t>(numbers[1] >> (8 * (5 - i)));
    }
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint64_t sub = numbers[2 + i];
        if (sub > 0xFFFFFFFFULL) {
            return {};
        }
        for (int b = 0; b < 4; ++b) {
            sid[8 + 4 * i + b] = static_cast<std::uint8_t>(sub >> (8 * b));
        }
    }
    return sid;
}

std::string SidToString(const void* sid) {
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    std::uint64_t authority = 0;
    for (int i = 0; i < 6; ++i) {
        authority = authority << 8 | bytes[2 + i];
    }
    std::string text = "S-" + std::to_string(bytes[0]) + "-" + std::to_string(authority);
    for (std::uint8_t i = 0; i < bytes[1]; ++i) {
        std::uint32_t sub = 0;
        std::memcpy(&sub, bytes + 8 + 4 * i, 4);
        text += "-" + std::to_string(sub);
    }
    return text;
}

}  // namespace kernel
