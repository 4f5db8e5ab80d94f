// The rule table: the ordered rules that decide which events become notifications, and the rule
// commands of the control port.
//
// A non-empty table is an allow-list with optional exclusions: the first rule (in insertion
// order) that matches an event decides, and an event no rule matches is not reported. An empty
// table reports everything.
//
// Lock: the rule lock (a fast mutex) guards the list, every rule in it and the matcher's state;
// every check and every command holds it, so callers run below DISPATCH_LEVEL. The registry is
// written under it for delete and clear, but not for the save step of add.
#pragma once

#include <cstdint>

#include "control/command_handlers.h"
#include "platform/kernel/fast_mutex.h"
#include "platform/kernel/list.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "rule.h"
#include "rule_database.h"

namespace vesk::driver {

class RuleTable final : public RuleCommands {
  public:
    RuleTable();
    ~RuleTable() override;
    RuleTable(const RuleTable&) = delete;
    RuleTable& operator=(const RuleTable&) = delete;

    // Start-up: opens (creating) the database below the service key and adds every saved rule,
    // for every process. Enumeration failures and failed adds stop the load with their status.
    kernel::NTSTATUS LoadDatabase(const kernel::UnicodeString& serviceKeyPath);
    // Unload: frees every rule and the database's path; the database itself is untouched.
    void FreeTable();

    // Should this event be reported? name may be nullptr. Never allocates.
    bool Check(std::uint32_t processId, const kernel::UnicodeString* name, std::uint32_t category,
               std::uint32_t operation);

    // RuleCommands.
    kernel::NTSTATUS ResolvePendingRules() override;
    kernel::NTSTATUS AddRule(const AddRuleRequest& request) override;
    kernel::NTSTATUS DeleteRule(std::uint32_t ruleStore,
                                const kernel::UnicodeString* pattern) override;
    kernel::NTSTATUS ClearRules(std::uint32_t ruleStore) override;

  private:
    static kernel::NTSTATUS AddSavedRule(void* table, const kernel::UnicodeString& name,
                                         const RuleValueData& data);
    kernel::NTSTATUS EnsureMatchStateLocked(const kernel::UnicodeString* pattern);
    void RemoveAllLocked();

    kernel::FastMutex lock_;
    kernel::ListEntry rules_;  // VeskRule::Links, insertion order
    // The matcher's bit set, large enough for the longest resolved pattern (non-paged, "Frul").
    std::uint64_t* matchState_ = nullptr;
    std::size_t matchStateWords_ = 0;
    RuleDatabase database_;  // opened by LoadDatabase, before any command can arrive
};

}  // namespace vesk::driver
