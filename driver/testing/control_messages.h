// Builds control messages byte for byte, for tests that talk to the dispatcher.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wire/port_wire.h"

namespace vesk::testing {

class MessageBuilder {
public:
    explicit MessageBuilder(std::uint32_t command) { U32(command); }

    MessageBuilder& U16(std::uint16_t v) { return Raw(&v, sizeof v); }
    MessageBuilder& U32(std::uint32_t v) { return Raw(&v, sizeof v); }
    MessageBuilder& I64(std::int64_t v) { return Raw(&v, sizeof v); }
    MessageBuilder& Zeros(std::size_t n) {
        bytes_.resize(bytes_.size() + n, 0);
        return *this;
    }
    MessageBuilder& Text(const std::u16string& text) { return Raw(text.data(), text.size() * 2); }
    // A u16 byte length followed by the text.
    MessageBuilder& CountedText(const std::u16string& text) {
        return U16(static_cast<std::uint16_t>(text.size() * 2)).Text(text);
    }
    MessageBuilder& Raw(const void* data, std::size_t n) {
        // resize + memcpy rather than insert: GCC 12 reports false overflows for the latter.
        const std::size_t at = bytes_.size();
        bytes_.resize(at + n);
        if (n != 0) {
            std::memcpy(bytes_.data() + at, data, n);
        }
        return *this;
    }

    std::vector<std::uint8_t> Build() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> AddRuleMessage(const wire::Guid& id, std::uint32_t processId,
                                         std::uint32_t flags, std::uint32_t category,
                                         std::uint32_t operations, const std::u16string& pattern);
std::vector<std::uint8_t> ContextBytes(std::uint32_t options, std::uint32_t categories,
                                       std::uint32_t thread1, std::uint32_t thread2);

}  // namespace vesk::testing
