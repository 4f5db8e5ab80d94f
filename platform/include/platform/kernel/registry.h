// The registry: a tree of keys holding named, typed values, kept in the platform's durable store.
// Key and value names are compared without regard to case. Every write is atomic: after a crash a
// value is either as it was or as it was written. All routines run below DISPATCH_LEVEL.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace kernel {

// Value types.
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_QWORD = 11;

class RegistryKey;

// Creates the key and every missing key above it, or opens it when it exists; *created
// (optional) says which. With parent nullptr, path is absolute ("\Registry\Machine\System\...");
// otherwise it is relative to parent. Close the key with CloseRegistryKey.
// STATUS_OBJECT_PATH_SYNTAX_BAD: an absolute path outside "\Registry\";
// STATUS_OBJECT_NAME_INVALID: an empty or over-long component;
// STATUS_REGISTRY_IO_FAILED: the store could not be read or written.
NTSTATUS CreateRegistryKey(RegistryKey* parent, const UnicodeString& path, RegistryKey** key,
                           bool* created = nullptr);
// As CreateRegistryKey, but STATUS_OBJECT_NAME_NOT_FOUND when the key does not exist.
NTSTATUS OpenRegistryKey(RegistryKey* parent, const UnicodeString& path, RegistryKey** key);
void CloseRegistryKey(RegistryKey* key);

// Value names longer than 16383 characters are refused with STATUS_INVALID_PARAMETER.
NTSTATUS SetValueKey(RegistryKey* key, const UnicodeString& valueName, std::uint32_t type,
                     const void* data, std::uint32_t dataLength);
// STATUS_OBJECT_NAME_NOT_FOUND when the value does not exist.
NTSTATUS DeleteValueKey(RegistryKey* key, const UnicodeString& valueName);

// What value queries and enumerations return: the fixed part, the name, then the data at
// DataOffset (4-byte aligned) from the start of the record.
struct KeyValueFullInformation {
    std::uint32_t TitleIndex;
    std::uint32_t Type;
    std::uint32_t DataOffset;
    std::uint32_t DataLength;
    std::uint32_t NameLength;  // bytes
    char16_t Name[1];
};
constexpr std::uint32_t kKeyValueFullInformationFixedSize = 20;

// The index-th value of the key (0-based, in the order values were created);
// STATUS_NO_MORE_ENTRIES past the last one. When the record does not fit length bytes:
// STATUS_BUFFER_OVERFLOW with the fixed part filled in if it fits, else STATUS_BUFFER_TOO_SMALL;
// *resultLength always receives the size of the whole record.
NTSTATUS EnumerateValueKey(RegistryKey* key, std::uint32_t index, void* information,
                           std::uint32_t length, std::uint32_t* resultLength);
// The named value, returned as EnumerateValueKey does; STATUS_OBJECT_NAME_NOT_FOUND when absent.
NTSTATUS QueryValueKey(RegistryKey* key, const UnicodeString& valueName, void* information,
                       std::uint32_t length, std::uint32_t* resultLength);

}  // namespace kernel
