#include "rule_table.h"

#include <cstring>
#include <new>
#include <span>

#include "core/pool_tags.h"
#include "names/counted_string.h"
#include "platform/kernel/name_expression.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/string_routines.h"
#include "rule_pattern.h"

namespace vesk::driver {

using namespace kernel;

namespace {

VeskRule* RuleOf(ListEntry* entry) {
    return reinterpret_cast<VeskRule*>(reinterpret_cast<std::uint8_t*>(entry) -
                                       offsetof(VeskRule, Links));
}

void RemoveEntry(ListEntry* entry) {
    entry->blink->flink = entry->flink;
    entry->flink->blink = entry->blink;
}

void FreeRule(VeskRule* rule) {
    if (rule->Pattern != nullptr) {
        FreeCountedString(rule->Pattern);
    }
    rule->~VeskRule();
    FreePool(rule, kTagRule);
}

bool IsStar(const UnicodeString& s) {
    return s.Length == 2 && s.Buffer[0] == u'*';
}

// A pattern that matches every name: none, empty, or exactly "*".
bool MatchesEverything(const UnicodeString* pattern) {
    return pattern == nullptr || pattern->Length < sizeof(char16_t) || IsStar(*pattern);
}

bool SameGuid(const wire::Guid& a, const wire::Guid& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

RuleTable::RuleTable() {
    InitializeListHead(&rules_);
}

RuleTable::~RuleTable() {
    FreeTable();
}

void RuleTable::RemoveAllLocked() {
    while (!IsListEmpty(&rules_)) {
        FreeRule(RuleOf(RemoveHeadList(&rules_)));
    }
}

void RuleTable::FreeTable() {
    {
        FastMutexGuard guard(lock_);
        RemoveAllLocked();
        if (matchState_ != nullptr) {
            FreePool(matchState_, kTagRule);
            matchState_ = nullptr;
            matchStateWords_ = 0;
        }
    }
    database_.Close();
}

NTSTATUS RuleTable::EnsureMatchStateLocked(const UnicodeString* pattern) {
    if (MatchesEverything(pattern)) {
        return STATUS_SUCCESS;
    }
    const std::size_t words = NameExpressionStateWords(pattern->Length);
    if (words <= matchStateWords_) {
        return STATUS_SUCCESS;
    }
    auto* state = static_cast<std::uint64_t*>(
        AllocatePool(PoolType::NonPaged, words * sizeof(std::uint64_t), kTagRule));
    if (state == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (matchState_ != nullptr) {
        FreePool(matchState_, kTagRule);
    }
    matchState_ = state;
    matchStateWords_ = words;
    return STATUS_SUCCESS;
}

bool RuleTable::Check(std::uint32_t processId, const UnicodeString* name, std::uint32_t category,
                      std::uint32_t operation) {
    FastMutexGuard guard(lock_);
    if (IsListEmpty(&rules_)) {
        return true;
    }
    const bool hasName = name != nullptr && name->Length >= sizeof(char16_t);
    for (ListEntry* entry = rules_.flink; entry != &rules_; entry = entry->flink) {
        const VeskRule* rule = RuleOf(entry);
        if ((rule->RuleState & kRuleResolved) == 0) {
            continue;
        }
        if (rule->RuleProcessId != wire::kRuleAnyProcess && rule->RuleProcessId != processId) {
            continue;
        }
        if (rule->RuleCategory != 0 && rule->RuleCategory != category) {
            continue;
        }
        // Contained in the mask: so class 0 (a process creation) passes any mask.
        if (rule->RuleOperations != 0 && (operation & rule->RuleOperations) != operation) {
            continue;
        }
        if (!hasName) {
            continue;
        }
        if (!MatchesEverything(rule->Pattern) &&
            !IsNameInExpression(*rule->Pattern, *name, true,
                                std::span<std::uint64_t>(matchState_, matchStateWords_))) {
            continue;
        }
        return (rule->RuleFlags & wire::VeskRuleExclude) == 0;
    }
    return false;
}

NTSTATUS RuleTable::AddRule(const AddRuleRequest& request) {
    const UnicodeString* pattern =
        request.pattern != nullptr && request.pattern->Length >= sizeof(char16_t) ? request.pattern
                                                                                  : nullptr;
    const bool save = (request.flags & wire::VeskRuleSave) != 0;
    const std::uint32_t flags = request.flags & ~static_cast<std::uint32_t>(wire::VeskRuleSave);

    // Step 1, the database. What the value held before is kept, so that an add that fails later
    // can put it back rather than lose a rule saved earlier under the same pattern.
    RuleValueData previous{};
    bool hadPrevious = false;
    if (save) {
        hadPrevious = NtSuccess(database_.Read(pattern, &previous));
        const RuleValueData data{request.ruleId, flags, request.category, request.operations};
        const NTSTATUS status = database_.Save(pattern, data);
        if (!NtSuccess(status)) {
            return status;
        }
    }
    auto undoSave = [&] {
        if (save) {
            if (hadPrevious) {
                database_.Save(pattern, previous);
            } else {
                database_.Delete(pattern);
            }
        }
    };

    // Step 2, the node and its own copy of the pattern.
    void* block = AllocatePool(PoolType::NonPaged, sizeof(VeskRule), kTagRule);
    if (block == nullptr) {
        undoSave();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* rule = new (block) VeskRule{};
    InitializeListHead(&rule->Links);
    rule->RuleId = request.ruleId;
    rule->RuleProcessId = request.processId;
    rule->RuleFlags = flags;
    rule->RuleCategory = request.category;
    rule->RuleOperations = request.operations;
    if (pattern == nullptr) {
        rule->RuleState = kRuleResolved;
    } else {
        if (!NtSuccess(
                ConcatenateCountedString(View(*pattern), u"", PoolType::Paged, &rule->Pattern))) {
            FreeRule(rule);
            undoSave();
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        // A pattern that cannot be resolved now (its drive letter does not exist yet) waits,
        // unchanged, for the next activation.
        if (NtSuccess(ResolveRulePattern(&rule->Pattern))) {
            rule->RuleState = kRuleResolved;
        }
    }

    // Step 3, the table: update in place by RuleId, else append.
    {
        FastMutexGuard guard(lock_);
        if ((rule->RuleState & kRuleResolved) != 0 &&
            !NtSuccess(EnsureMatchStateLocked(rule->Pattern))) {
            FreeRule(rule);
            undoSave();
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        for (ListEntry* entry = rules_.flink; entry != &rules_; entry = entry->flink) {
            VeskRule* existing = RuleOf(entry);
            if (SameGuid(existing->RuleId, rule->RuleId) &&
                (existing->RuleState & kRuleResolved) == (rule->RuleState & kRuleResolved)) {
                existing->RuleFlags = rule->RuleFlags;
                existing->RuleCategory = rule->RuleCategory;
                existing->RuleOperations = rule->RuleOperations;
                existing->RuleProcessId = rule->RuleProcessId;
                UnicodeString* old = existing->Pattern;
                existing->Pattern = rule->Pattern;
                rule->Pattern = old;  // freed with the discarded node
                FreeRule(rule);
                return STATUS_SUCCESS;
            }
        }
        InsertTailList(&rules_, &rule->Links);
    }
    return STATUS_SUCCESS;
}

NTSTATUS RuleTable::ResolvePendingRules() {
    FastMutexGuard guard(lock_);
    for (ListEntry* entry = rules_.flink; entry != &rules_; entry = entry->flink) {
        VeskRule* rule = RuleOf(entry);
        if (rule->Pattern != nullptr && (rule->RuleState & kRuleResolved) == 0) {
            // Rules before this one stay resolved when it fails.
            NTSTATUS status = ResolveRulePattern(&rule->Pattern);
            if (NtSuccess(status)) {
                status = EnsureMatchStateLocked(rule->Pattern);
            }
            if (!NtSuccess(status)) {
                return status;
            }
        }
        rule->RuleState |= kRuleResolved;
    }
    return STATUS_SUCCESS;
}

NTSTATUS RuleTable::DeleteRule(std::uint32_t ruleStore, const UnicodeString* pattern) {
    FastMutexGuard guard(lock_);
    NTSTATUS result = STATUS_SUCCESS;
    if ((ruleStore & wire::VeskRuleStoreMemory) != 0) {
        // Compared with the stored (resolved, upper-cased) patterns: a drive-letter pattern no
        // longer finds a rule that was resolved to device form.
        const bool everything = MatchesEverything(pattern);
        for (ListEntry* entry = rules_.flink; entry != &rules_; entry = entry->flink) {
            VeskRule* rule = RuleOf(entry);
            if (rule->Pattern == nullptr) {
                continue;
            }
            const bool same = everything ? MatchesEverything(rule->Pattern)
                                         : EqualUnicodeString(*rule->Pattern, *pattern, true);
            if (same) {
                RemoveEntry(entry);
                FreeRule(rule);
                break;
            }
        }
    }
    if ((ruleStore & wire::VeskRuleStoreDatabase) != 0) {
        const NTSTATUS status = database_.Delete(pattern);
        if (!NtSuccess(status) && NtSuccess(result)) {
            result = status;
        }
    }
    return result;
}

NTSTATUS RuleTable::ClearRules(std::uint32_t ruleStore) {
    FastMutexGuard guard(lock_);
    if ((ruleStore & wire::VeskRuleStoreMemory) != 0) {
        RemoveAllLocked();
    }
    if ((ruleStore & wire::VeskRuleStoreDatabase) != 0) {
        return database_.Clear();
    }
    return STATUS_SUCCESS;
}

NTSTATUS RuleTable::AddSavedRule(void* table, const UnicodeString& name,
                                 const RuleValueData& data) {
    // Added as received from the database: for every process, and never saved again.
    const std::uint32_t flags = data.RuleFlags & ~static_cast<std::uint32_t>(wire::VeskRuleSave);
    const AddRuleRequest request{
        data.RuleId,       wire::kRuleAnyProcess, flags,
        data.RuleCategory, data.RuleOperations,   name.Length != 0 ? &name : nullptr};
    return static_cast<RuleTable*>(table)->AddRule(request);
}

NTSTATUS RuleTable::LoadDatabase(const UnicodeString& serviceKeyPath) {
    NTSTATUS status = database_.Open(serviceKeyPath);
    if (!NtSuccess(status)) {
        return status;
    }
    return database_.ForEachRule(&RuleTable::AddSavedRule, this);
}

}  // namespace vesk::driver
