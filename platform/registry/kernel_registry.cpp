// The kernel's registry routines over the face's durable store.
#include <cstring>
#include <new>

#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/string_routines.h"
#include "registry_face.h"

namespace kernel {

// A key handle: a paged pool block, so that a handle never closed shows up as a leak.
class RegistryKey {
  public:
    registry::KeyId id;
};

namespace {

constexpr std::uint32_t kKeyHandleTag = MakePoolTag("CmKy");

std::u16string_view View(const UnicodeString& s) {
    return std::u16string_view(s.Buffer, CharCount(s));
}

NTSTATUS ToStatus(registry::Result result) {
    switch (result) {
        case registry::Result::Ok:
            return STATUS_SUCCESS;
        case registry::Result::NotFound:
            return STATUS_OBJECT_NAME_NOT_FOUND;
        case registry::Result::NoMoreEntries:
            return STATUS_NO_MORE_ENTRIES;
        case registry::Result::InvalidName:
            return STATUS_OBJECT_NAME_INVALID;
        case registry::Result::IoError:
            break;
    }
    return STATUS_REGISTRY_IO_FAILED;
}

void CheckIrql(const char* routine) {
    if (CurrentIrql() >= DISPATCH_LEVEL) {
        BugCheck(routine);
    }
}

// The store's parent key and path for a routine's (parent, path) pair.
NTSTATUS Locate(RegistryKey* parent, const UnicodeString& path, registry::KeyId* base,
                std::u16string_view* relative) {
    std::u16string_view text = View(path);
    if (parent != nullptr) {
        *base = parent->id;
        *relative = text;
        return STATUS_SUCCESS;
    }
    constexpr std::u16string_view kRoot = u"\\REGISTRY\\";
    if (text.size() < kRoot.size()) {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    for (std::size_t i = 0; i < kRoot.size(); ++i) {
        if (UpcaseUnicodeChar(text[i]) != kRoot[i]) {
            return STATUS_OBJECT_PATH_SYNTAX_BAD;
        }
    }
    *base = registry::kRootKey;
    *relative = text.substr(1);
    return STATUS_SUCCESS;
}

NTSTATUS NewHandle(registry::KeyId id, RegistryKey** key) {
    void* block = AllocatePool(PoolType::Paged, sizeof(RegistryKey), kKeyHandleTag);
    if (block == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *key = new (block) RegistryKey{id};
    return STATUS_SUCCESS;
}

// Lays a value out as KeyValueFullInformation in the caller's buffer.
NTSTATUS WriteFullInformation(const registry::Value& value, void* information, std::uint32_t length,
                              std::uint32_t* resultLength) {
    const std::uint32_t nameBytes = static_cast<std::uint32_t>(value.name.size() * 2);
    const std::uint32_t dataOffset = (kKeyValueFullInformationFixedSize + nameBytes + 3) & ~3U;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(value.data.size());
    const std::uint32_t total = dataOffset + dataBytes;
    if (resultLength != nullptr) {
        *resultLength = total;
    }
    KeyValueFullInformation fixed{0, value.type, dataOffset, dataBytes, nameBytes, {u'\0'}};
    auto* out = static_cast<std::uint8_t*>(information);
    if (length < kKeyValueFullInformationFixedSize) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, &fixed, kKeyValueFullInformationFixedSize);
    if (length < total) {
        return STATUS_BUFFER_OVERFLOW;
    }
    if (nameBytes != 0) {
        std::memcpy(out + kKeyValueFullInformationFixedSize, value.name.data(), nameBytes);
    }
    std::memset(out + kKeyValueFullInformationFixedSize + nameBytes, 0,
                dataOffset - kKeyValueFullInformationFixedSize - nameBytes);
    if (dataBytes != 0) {
        std::memcpy(out + dataOffset, value.data.data(), dataBytes);
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS CreateRegistryKey(RegistryKey* parent, const UnicodeString& path, RegistryKey** key,
                           bool* created) {
    CheckIrql("CreateRegistryKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    registry::KeyId base = 0;
    std::u16string_view relative;
    NTSTATUS status = Locate(parent, path, &base, &relative);
    if (!NtSuccess(status)) {
        return status;
    }
    registry::KeyId id = 0;
    status = ToStatus(store->CreateKey(base, relative, &id, created));
    return NtSuccess(status) ? NewHandle(id, key) : status;
}

NTSTATUS OpenRegistryKey(RegistryKey* parent, const UnicodeString& path, RegistryKey** key) {
    CheckIrql("OpenRegistryKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    registry::KeyId base = 0;
    std::u16string_view relative;
    NTSTATUS status = Locate(parent, path, &base, &relative);
    if (!NtSuccess(status)) {
        return status;
    }
    registry::KeyId id = 0;
    status = ToStatus(store->OpenKey(base, relative, &id));
    return NtSuccess(status) ? NewHandle(id, key) : status;
}

void CloseRegistryKey(RegistryKey* key) {
    key->~RegistryKey();
    FreePool(key, kKeyHandleTag);
}

NTSTATUS SetValueKey(RegistryKey* key, const UnicodeString& valueName, std::uint32_t type,
                     const void* data, std::uint32_t dataLength) {
    CheckIrql("SetValueKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    if (CharCount(valueName) > registry::kMaxValueNameChars) {
        return STATUS_INVALID_PARAMETER;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return ToStatus(store->SetValue(key->id, View(valueName), type,
                                    std::span<const std::uint8_t>(bytes, dataLength)));
}

NTSTATUS DeleteValueKey(RegistryKey* key, const UnicodeString& valueName) {
    CheckIrql("DeleteValueKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    return ToStatus(store->DeleteValue(key->id, View(valueName)));
}

NTSTATUS EnumerateValueKey(RegistryKey* key, std::uint32_t index, void* information,
                           std::uint32_t length, std::uint32_t* resultLength) {
    CheckIrql("EnumerateValueKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    registry::Value value;
    const NTSTATUS status = ToStatus(store->EnumerateValue(key->id, index, &value));
    if (!NtSuccess(status)) {
        return status;
    }
    return WriteFullInformation(value, information, length, resultLength);
}

NTSTATUS QueryValueKey(RegistryKey* key, const UnicodeString& valueName, void* information,
                       std::uint32_t length, std::uint32_t* resultLength) {
    CheckIrql("QueryValueKey at DISPATCH_LEVEL or above");
    registry::RegistryStore* store = face::Registry();
    if (store == nullptr) {
        return STATUS_REGISTRY_IO_FAILED;
    }
    registry::Value value;
    const NTSTATUS status = ToStatus(store->QueryValue(key->id, View(valueName), &value));
    if (!NtSuccess(status)) {
        return status;
    }
    return WriteFullInformation(value, information, length, resultLength);
}

}  // namespace kernel
