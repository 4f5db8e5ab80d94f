// The registry's durable store: one SQLite database holding keys and values.
//
// Keys form a tree of backslash-separated paths ("Registry\Machine\System\..."); key names and
// value names are compared without regard to case (the platform's upper-case mapping, unit by
// unit) and keep the case they were last written with. A value has a name (possibly empty), a
// type (1 string, 3 binary, 4 32-bit number, 11 64-bit number, or any other number) and data.
// Values of a key enumerate in the order they were first created.
//
// Every write is one transaction: after a crash or an I/O error the database holds either the
// state before the write or the state after it, never a part of it.
//
// Both faces use this store: the kernel's registry routines and, in user mode, the engine's. All
// members are safe to call from several threads; several processes may open the same file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace registry {

enum class Result : std::uint8_t {
    Ok,
    NotFound,       // the key or value does not exist
    NoMoreEntries,  // enumeration index past the last value
    InvalidName,    // empty path component, name too long
    IoError,        // the database could not be read or written
};

// Limits the platform has always had: 255 units per key name, 16383 per value name.
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;

// Key 0 is the root: every path is relative to a key, and absolute paths to the root.
using KeyId = std::int64_t;
constexpr KeyId kRootKey = 0;

struct Value {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

class RegistryStore {
  public:
    // Opens (creating when missing) the database file. vfs names an SQLite VFS (nullptr: the
    // default); tests use it to make writes fail part way. readOnly opens without write access.
    static std::unique_ptr<RegistryStore> Open(const std::string& path, std::string* error,
                                               const char* vfs = nullptr, bool readOnly = false);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Creates every missing key along path below parent; *created says whether the last one is
    // new. A path may start with one backslash; components are separated by single backslashes.
    Result CreateKey(KeyId parent, std::u16string_view path, KeyId* key, bool* created = nullptr);
    Result OpenKey(KeyId parent, std::u16string_view path, KeyId* key);

    // Deletes the key at path below parent with every key and value beneath it, in one
    // transaction. The root cannot be deleted (InvalidName).
    Result DeleteKey(KeyId parent, std::u16string_view path);

    // Creates the value or replaces its type, data and name case; its enumeration place stays.
    Result SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data);
    Result QueryValue(KeyId key, std::u16string_view name, Value* value);
    Result DeleteValue(KeyId key, std::u16string_view name);
    // The index-th value (0-based) in creation order; NoMoreEntries past the last one.
    Result EnumerateValue(KeyId key, std::uint32_t index, Value* value);

  private:
    explicit RegistryStore(sqlite3* db) : db_(db) {}
    Result Prepare();
    Result FindChild(KeyId parent, const std::u16string& folded, KeyId* child);
    bool KeyExists(KeyId key);

    std::mutex mutex_;  // guards db_ and the statements: one statement runs at a time
    sqlite3* db_;
    sqlite3_stmt* findChild_ = nullptr;
    sqlite3_stmt* insertKey_ = nullptr;
    sqlite3_stmt* keyExists_ = nullptr;
    sqlite3_stmt* upsertValue_ = nullptr;
    sqlite3_stmt* queryValue_ = nullptr;
    sqlite3_stmt* deleteValue_ = nullptr;
    sqlite3_stmt* enumerateValue_ = nullptr;
};

}  // namespace registry
