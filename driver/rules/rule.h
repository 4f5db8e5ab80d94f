// One rule of the table: which events (by process, category, operation class and name) it
// decides about, and whether it lets them through or excludes them.
#pragma once

#include <cstdint>

#include "platform/kernel/list.h"
#include "platform/kernel/unicode_string.h"
#include "wire/port_wire.h"

namespace vesk::driver {

// RuleState bits.
constexpr std::uint32_t kRuleResolved = 0x1;  // the pattern is final (kernel form, upper case)

// A node of the rule table: non-paged pool, tag "Frul". Owned by the table; the pattern is a
// counted string ("Fstr") owned by the node.
struct VeskRule {
    kernel::ListEntry Links;  // protected by the rule lock
    wire::Guid RuleId;
    std::uint32_t RuleState;         // kRuleResolved; a rule without it never matches
    std::uint32_t RuleProcessId;     // wire::kRuleAnyProcess for every process
    std::uint32_t RuleFlags;         // as received, without wire::VeskRuleSave
    std::uint32_t RuleCategory;      // 0 any, 1 process records, 2 file-system records
    std::uint32_t RuleOperations;    // operation-class mask, 0 for any
    kernel::UnicodeString* Pattern;  // nullptr: the rule has no pattern
};

}  // namespace vesk::driver
