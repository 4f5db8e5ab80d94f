#include "rule_database.h"

#include <cstring>

#include "core/pool_tags.h"
#include "names/counted_string.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/registry.h"

namespace vesk::driver {

using namespace kernel;

namespace {

const UnicodeString kStarName = ConstantUnicodeString(u"*");

const UnicodeString& ValueName(const UnicodeString* pattern) {
    return pattern != nullptr && pattern->Length >= sizeof(char16_t) ? *pattern : kStarName;
}

bool IsMissing(NTSTATUS status) {
    return status == STATUS_OBJECT_NAME_NOT_FOUND || status == STATUS_OBJECT_PATH_NOT_FOUND;
}

// The enumeration buffer: paged, "Frvi", freed on every path.
class EnumerationBuffer {
  public:
    EnumerationBuffer()
        : block_(AllocatePool(PoolType::Paged, kRuleEnumerationBufferSize, kTagRuleEnumeration)) {}
    ~EnumerationBuffer() {
        if (block_ != nullptr) {
            FreePool(block_, kTagRuleEnumeration);
        }
    }
    EnumerationBuffer(const EnumerationBuffer&) = delete;
    EnumerationBuffer& operator=(const EnumerationBuffer&) = delete;

    void* Get() const { return block_; }
    KeyValueFullInformation Fixed() const {
        KeyValueFullInformation fixed;
        std::memcpy(&fixed, block_, kKeyValueFullInformationFixedSize);
        return fixed;
    }
    bool IsRuleValue(bool qwordToo) const {
        const KeyValueFullInformation fixed = Fixed();
        return (fixed.Type == REG_BINARY || (qwordToo && fixed.Type == REG_QWORD)) &&
               fixed.DataLength == sizeof(RuleValueData);
    }
    UnicodeString Name() const {
        const KeyValueFullInformation fixed = Fixed();
        auto* name = reinterpret_cast<char16_t*>(static_cast<std::uint8_t*>(block_) +
                                                 kKeyValueFullInformationFixedSize);
        return UnicodeString{static_cast<std::uint16_t>(fixed.NameLength),
                             static_cast<std::uint16_t>(fixed.NameLength), name};
    }
    RuleValueData Data() const {
        RuleValueData data;
        std::memcpy(&data, static_cast<const std::uint8_t*>(block_) + Fixed().DataOffset,
                    sizeof data);
        return data;
    }

  private:
    void* block_;
};

// Opens the rules key for the length of a scope.
class KeyHandle {
  public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (key_ != nullptr) {
            CloseRegistryKey(key_);
        }
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    RegistryKey** Receive() { return &key_; }
    RegistryKey* Get() const { return key_; }

  private:
    RegistryKey* key_ = nullptr;
};

}  // namespace

NTSTATUS RuleDatabase::Open(const UnicodeString& serviceKeyPath) {
    Close();
    UnicodeString* path = nullptr;
    NTSTATUS status =
        ConcatenateCountedString(View(serviceKeyPath), u"\\Options\\Rules", PoolType::Paged, &path);
    if (!NtSuccess(status)) {
        return status;
    }
    KeyHandle key;
    status = CreateRegistryKey(nullptr, *path, key.Receive());
    if (!NtSuccess(status)) {
        FreeCountedString(path);
        return status;
    }
    rulesKeyPath_ = path;
    return STATUS_SUCCESS;
}

void RuleDatabase::Close() {
    if (rulesKeyPath_ != nullptr) {
        FreeCountedString(rulesKeyPath_);
        rulesKeyPath_ = nullptr;
    }
}

NTSTATUS RuleDatabase::Save(const UnicodeString* pattern, const RuleValueData& data) {
    if (rulesKeyPath_ == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    KeyHandle key;
    const NTSTATUS status = CreateRegistryKey(nullptr, *rulesKeyPath_, key.Receive());
    if (!NtSuccess(status)) {
        return status;
    }
    return SetValueKey(key.Get(), ValueName(pattern), REG_BINARY, &data, sizeof data);
}

NTSTATUS RuleDatabase::Read(const UnicodeString* pattern, RuleValueData* data) {
    if (rulesKeyPath_ == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    KeyHandle key;
    NTSTATUS status = OpenRegistryKey(nullptr, *rulesKeyPath_, key.Receive());
    if (!NtSuccess(status)) {
        return status;
    }
    EnumerationBuffer buffer;
    if (buffer.Get() == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::uint32_t length = 0;
    status = QueryValueKey(key.Get(), ValueName(pattern), buffer.Get(), kRuleEnumerationBufferSize,
                           &length);
    if (status == STATUS_BUFFER_OVERFLOW || (NtSuccess(status) && !buffer.IsRuleValue(false))) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if (!NtSuccess(status)) {
        return status;
    }
    *data = buffer.Data();
    return STATUS_SUCCESS;
}

NTSTATUS RuleDatabase::Delete(const UnicodeString* pattern) {
    if (rulesKeyPath_ == nullptr) {
        return STATUS_SUCCESS;
    }
    KeyHandle key;
    NTSTATUS status = OpenRegistryKey(nullptr, *rulesKeyPath_, key.Receive());
    if (NtSuccess(status)) {
        status = DeleteValueKey(key.Get(), ValueName(pattern));
    }
    return IsMissing(status) ? STATUS_SUCCESS : status;
}

NTSTATUS RuleDatabase::Clear() {
    if (rulesKeyPath_ == nullptr) {
        return STATUS_SUCCESS;
    }
    KeyHandle key;
    NTSTATUS status = OpenRegistryKey(nullptr, *rulesKeyPath_, key.Receive());
    if (!NtSuccess(status)) {
        return IsMissing(status) ? STATUS_SUCCESS : status;
    }
    EnumerationBuffer buffer;
    if (buffer.Get() == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // Deleting a value moves the later ones down by one, so the index advances only past values
    // that stay.
    std::uint32_t index = 0;
    while (true) {
        std::uint32_t length = 0;
        status =
            EnumerateValueKey(key.Get(), index, buffer.Get(), kRuleEnumerationBufferSize, &length);
        if (status == STATUS_NO_MORE_ENTRIES) {
            return STATUS_SUCCESS;
        }
        if (status == STATUS_BUFFER_OVERFLOW) {
            ++index;  // larger than any rule value
            continue;
        }
        if (!NtSuccess(status)) {
            return status;
        }
        if (!buffer.IsRuleValue(true)) {
            ++index;
            continue;
        }
        status = DeleteValueKey(key.Get(), buffer.Name());
        if (!NtSuccess(status) && !IsMissing(status)) {
            return status;
        }
    }
}

NTSTATUS RuleDatabase::ForEachRule(Visitor visit, void* context) {
    if (rulesKeyPath_ == nullptr) {
        return STATUS_SUCCESS;
    }
    KeyHandle key;
    NTSTATUS status = OpenRegistryKey(nullptr, *rulesKeyPath_, key.Receive());
    if (!NtSuccess(status)) {
        return status;
    }
    EnumerationBuffer buffer;
    if (buffer.Get() == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t length = 0;
        status =
            EnumerateValueKey(key.Get(), index, buffer.Get(), kRuleEnumerationBufferSize, &length);
        if (status == STATUS_NO_MORE_ENTRIES) {
            return STATUS_SUCCESS;
        }
        if (status == STATUS_BUFFER_OVERFLOW) {
            // A foreign value too large for the buffer is no rule; it must not stop the load.
            continue;
        }
        if (!NtSuccess(status)) {
            return status;
        }
        if (!buffer.IsRuleValue(false)) {
            continue;
        }
        status = visit(context, buffer.Name(), buffer.Data());
        if (!NtSuccess(status)) {
            return status;
        }
    }
}

}  // namespace vesk::driver
