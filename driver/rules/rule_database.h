// The rule database: saved rules in the registry key "Options\Rules" below the driver's service
// key, one binary value per rule, named by the rule's pattern as it was received ("*" for a rule
// without one), holding 28 bytes. The process id is not saved: rules read back apply to every
// process. Two saved rules with the same pattern share one value; the later one stays.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "wire/port_wire.h"

namespace vesk::driver {

#pragma pack(push, 1)
struct RuleValueData {
    wire::Guid RuleId;
    std::uint32_t RuleFlags;  // without wire::VeskRuleSave
    std::uint32_t RuleCategory;
    std::uint32_t RuleOperations;
};
#pragma pack(pop)
static_assert(sizeof(RuleValueData) == 28,
              "the stored layout is fixed: saved rules outlive versions");

// Size of the enumeration buffer: the fixed part of a value record with a name of up to 65535
// bytes and a 28-byte datum fit in it.
constexpr std::uint32_t kRuleEnumerationBufferSize = 65558;

class RuleDatabase {
  public:
    RuleDatabase() = default;
    ~RuleDatabase() { Close(); }
    RuleDatabase(const RuleDatabase&) = delete;
    RuleDatabase& operator=(const RuleDatabase&) = delete;

    // Keeps a copy of the key's path (the service key's path followed by "\Options\Rules") and
    // creates the keys when missing.
    kernel::NTSTATUS Open(const kernel::UnicodeString& serviceKeyPath);
    void Close();
    bool IsOpen() const { return rulesKeyPath_ != nullptr; }

    // pattern nullptr or empty: the value "*".
    kernel::NTSTATUS Save(const kernel::UnicodeString* pattern, const RuleValueData& data);
    // Reads the value a Save of this pattern would replace: STATUS_SUCCESS and *data when it is a
    // rule value, STATUS_OBJECT_NAME_NOT_FOUND when there is none (or it is something else).
    kernel::NTSTATUS Read(const kernel::UnicodeString* pattern, RuleValueData* data);
    // A value (or key) that does not exist counts as deleted.
    kernel::NTSTATUS Delete(const kernel::UnicodeString* pattern);
    // Deletes every rule value (binary, or 64-bit number, with exactly 28 bytes of data); other
    // values stay. A missing key counts as cleared.
    kernel::NTSTATUS Clear();

    // Calls visit for every binary value of exactly 28 bytes, in creation order, with its name
    // (empty when the value has none) and data; stops at the first failure of visit or of the
    // enumeration. Values of any other type or size are skipped.
    using Visitor = kernel::NTSTATUS (*)(void* context, const kernel::UnicodeString& name,
                                         const RuleValueData& data);
    kernel::NTSTATUS ForEachRule(Visitor visit, void* context);

  private:
    kernel::UnicodeString* rulesKeyPath_ = nullptr;  // "Fstr"
};

}  // namespace vesk::driver
