// The components that carry out control commands beyond the driver core: the rule table, name
// resolution and the file services. The dispatcher has already checked every size and length of
// the message when it calls them, and copied names and patterns into pool strings that it frees
// after the call (a component copies what it keeps).
#pragma once

#include <cstdint>
#include <span>

#include "platform/kernel/status.h"
#include "platform/kernel/token.h"
#include "platform/kernel/unicode_string.h"
#include "wire/port_wire.h"

namespace vesk::driver {

struct AddRuleRequest {
    wire::Guid ruleId;
    std::uint32_t processId;  // wire::kRuleAnyProcess: every process
    std::uint32_t flags;      // wire::RuleFlags
    std::uint32_t category;   // 0 any, 1 process, 2 file system
    std::uint32_t operations;  // 0 any
    const kernel::UnicodeString* pattern;  // nullptr when the rule has no pattern
};

class RuleCommands {
public:
    virtual ~RuleCommands() = default;
    // On activation: patterns still waiting for a volume are resolved again.
    virtual kernel::NTSTATUS ResolvePendingRules() = 0;
    virtual kernel::NTSTATUS AddRule(const AddRuleRequest& request) = 0;
    // pattern is nullptr for an empty pattern.
    virtual kernel::NTSTATUS DeleteRule(std::uint32_t ruleStore,
                                        const kernel::UnicodeString* pattern) = 0;
    virtual kernel::NTSTATUS ClearRules(std::uint32_t ruleStore) = 0;
};

struct ResolveNameRequest {
    std::uint32_t flags;  // wire::ResolveFlags
    std::uint32_t sessionId;
    kernel::Luid logonId;
    const kernel::UnicodeString* name;  // may be of length 0
    // The reply area: 8 bytes of wire::ResolveNameReply (capacities already read into it), then
    // DosNameLength + UncNameLength bytes for the names.
    std::span<std::uint8_t> reply;
};

class NameCommands {
public:
    virtual ~NameCommands() = default;
    // Writes the reply and returns STATUS_SUCCESS with *replyLength set, or
    // STATUS_BUFFER_TOO_SMALL with the needed lengths at reply offsets 4 and 6.
    virtual kernel::NTSTATUS ResolveName(const ResolveNameRequest& request,
                                         std::uint32_t* replyLength) = 0;
};

class FileCommands {
public:
    virtual ~FileCommands() = default;
    // One I/O command (codes 127 to 149) whose message passed every size check and, where the
    // command names a handle, whose handle is not 0. message is the whole control message;
    // output is the sender's buffer.
    virtual kernel::NTSTATUS Execute(std::uint32_t command, std::span<const std::uint8_t> message,
                                     std::span<std::uint8_t> output,
                                     std::uint32_t* replyLength) = 0;
};

}  // namespace vesk::driver
