// Activation, rules and statistics: one control request each, through the request transport, so
// each works with or without VeskInitialize.

#include <cstring>
#include <new>
#include <vector>

#include "last_error.h"
#include "requests.h"
#include "vesk/vesklib.h"
#include "wire/port_wire.h"

namespace vesk::engine {
namespace {

// The pattern's length in characters, up to its NUL. A pattern whose byte length does not fit
// the 16-bit length field is refused (87) rather than sent with a length that disagrees with it.
bool PatternBytes(const VeskChar* pattern, std::uint16_t* bytes) {
    std::size_t length = 0;
    if (pattern != nullptr) {
        while (pattern[length] != 0) {
            ++length;
        }
    }
    if (length > 0x7FFF) {
        return false;
    }
    *bytes = static_cast<std::uint16_t>(length * 2);
    return true;
}

// Sends a message whose fixed part (command code first) is followed by the pattern.
template <typename Fixed>
VeskBool SendWithPattern(const Fixed& fixed, const VeskChar* pattern, std::uint16_t bytes) {
    std::vector<std::uint8_t> payload;
    try {
        payload.resize(sizeof fixed - 4 + bytes);
    } catch (const std::bad_alloc&) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
    std::memcpy(payload.data(), reinterpret_cast<const std::uint8_t*>(&fixed) + 4,
                sizeof fixed - 4);
    if (bytes != 0) {
        std::memcpy(payload.data() + sizeof fixed - 4, pattern, bytes);
    }
    return SendRequest(fixed.Command, payload.data(), static_cast<std::uint32_t>(payload.size()),
                       nullptr, 0, nullptr);
}

}  // namespace
}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" {

VESK_API VeskBool VeskActivate(void) {
    return SendRequest(vesk::wire::VeskCmdActivate, nullptr, 0, nullptr, 0, nullptr);
}

VESK_API VeskBool VeskDeactivate(void) {
    return SendRequest(vesk::wire::VeskCmdDeactivate, nullptr, 0, nullptr, 0, nullptr);
}

VESK_API VeskBool VeskAddRule(VeskGuid ruleId, const VeskChar* pattern, uint32_t category,
                              uint32_t operations, uint32_t processId, uint32_t flags) {
    std::uint16_t bytes = 0;
    if (!PatternBytes(pattern, &bytes)) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    vesk::wire::AddRuleMessage message{};
    message.Command = vesk::wire::VeskCmdAddRule;
    std::memcpy(&message.RuleId, &ruleId, sizeof ruleId);
    message.RuleProcessId = processId;
    message.RuleFlags = flags;
    message.RuleCategory = category;
    message.RuleOperations = operations;
    message.PatternLength = bytes;
    return SendWithPattern(message, pattern, bytes);
}

VESK_API VeskBool VeskDeleteRule(const VeskChar* pattern, uint32_t ruleStore) {
    std::uint16_t bytes = 0;
    if (!PatternBytes(pattern, &bytes)) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    vesk::wire::DeleteRuleMessage message{};
    message.Command = vesk::wire::VeskCmdDeleteRule;
    message.RuleStore = ruleStore;
    message.PatternLength = bytes;
    return SendWithPattern(message, pattern, bytes);
}

VESK_API VeskBool VeskClearRules(uint32_t ruleStore) {
    return SendRequest(vesk::wire::VeskCmdClearRules, &ruleStore, sizeof ruleStore, nullptr, 0,
                       nullptr);
}

VESK_API VeskBool VeskGetStatistics(VeskStatistics* statistics) {
    if (statistics == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    static_assert(sizeof(VeskStatistics) == sizeof(vesk::wire::StatisticsReply));
    return SendRequest(vesk::wire::VeskCmdGetStatistics, nullptr, 0, statistics, sizeof *statistics,
                       nullptr);
}

}  // extern "C"
