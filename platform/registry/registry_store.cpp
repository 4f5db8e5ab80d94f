#include "registry_store.h"

#include <sqlite3.h>
#include <unicode/uchar.h>

namespace registry {
namespace {

// The same mapping as the kernel's UpcaseUnicodeChar: simple case mapping, one unit for one.
char16_t FoldUnit(char16_t c) {
    if (c < 0x80) {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
    }
    const UChar32 upper = u_toupper(static_cast<UChar32>(c));
    return upper >= 0 && upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::u16string Fold(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) {
        c = FoldUnit(c);
    }
    return folded;
}

// Names are kept as UTF-16 bytes, not as SQLite text: a name may hold any unit, lone surrogate
// halves included, and must come back exactly as written.
int BindUnits(sqlite3_stmt* statement, int index, std::u16string_view text) {
    static const char kEmpty = 0;  // a null pointer would bind NULL, not an empty blob
    const void* bytes = text.empty() ? static_cast<const void*>(&kEmpty) : text.data();
    return sqlite3_bind_blob(statement, index, bytes, static_cast<int>(text.size() * 2),
                             SQLITE_TRANSIENT);
}

int BindBytes(sqlite3_stmt* statement, int index, std::span<const std::uint8_t> data) {
    static const char kEmpty = 0;
    const void* bytes = data.empty() ? static_cast<const void*>(&kEmpty) : data.data();
    return sqlite3_bind_blob(statement, index, bytes, static_cast<int>(data.size()),
                             SQLITE_TRANSIENT);
}

std::u16string ColumnUnits(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char16_t*>(sqlite3_column_blob(statement, column));
    const int length = sqlite3_column_bytes(statement, column);
    return bytes == nullptr ? std::u16string() : std::u16string(bytes, length / 2);
}

std::vector<std::uint8_t> ColumnBytes(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
    const int length = sqlite3_column_bytes(statement, column);
    return bytes == nullptr ? std::vector<std::uint8_t>()
                            : std::vector<std::uint8_t>(bytes, bytes + length);
}

// Resets a statement when the scope ends, so that no read lock outlives the call.
class StatementScope {
  public:
    explicit StatementScope(sqlite3_stmt* statement) : statement_(statement) {}
    ~StatementScope() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;

  private:
    sqlite3_stmt* statement_;
};

// One write transaction. Rolled back unless committed, so every early return undoes the write.
class Transaction {
  public:
    explicit Transaction(sqlite3* db) : db_(db) {
        began_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (began_ && !committed_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Began() const { return began_; }
    bool Commit() {
        committed_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return committed_;
    }

  private:
    sqlite3* db_;
    bool began_ = false;
    bool committed_ = false;
};

// Splits a key path into its components; false when a component is empty or too long.
bool SplitPath(std::u16string_view path, std::vector<std::u16string_view>* components) {
    if (!path.empty() && path.front() == u'\\') {
        path.remove_prefix(1);
    }
    components->clear();
    if (path.empty()) {
        return true;
    }
    while (true) {
        const std::size_t end = path.find(u'\\');
        const std::u16string_view component = path.substr(0, end);
        if (component.empty() || component.size() > kMaxKeyNameChars) {
            return false;
        }
        components->push_back(component);
        if (end == std::u16string_view::npos) {
            return true;
        }
        path.remove_prefix(end + 1);
    }
}

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name BLOB NOT NULL,
    folded BLOB NOT NULL,
    UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS key_values(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL,
    name BLOB NOT NULL,
    folded BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, folded));
)sql";

}  // namespace

std::unique_ptr<RegistryStore> RegistryStore::Open(const std::string& path, std::string* error,
                                                   const char* vfs, bool readOnly) {
    sqlite3* db = nullptr;
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, vfs);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        // A full sync at every commit: a committed value survives a power cut.
        rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK && !readOnly) {
        rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        if (error != nullptr) {
            *error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        }
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<RegistryStore> store(new RegistryStore(db));
    if (store->Prepare() != Result::Ok) {
        if (error != nullptr) {
            *error = sqlite3_errmsg(db);
        }
        return nullptr;
    }
    return store;
}

RegistryStore::~RegistryStore() {
    for (sqlite3_stmt* s : {findChild_, insertKey_, keyExists_, upsertValue_, queryValue_,
                            deleteValue_, enumerateValue_}) {
        sqlite3_finalize(s);
    }
    sqlite3_close(db_);
}

Result RegistryStore::Prepare() {
    struct {
        sqlite3_stmt** statement;
        const char* sql;
    } statements[] = {
        {&findChild_, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2"},
        {&insertKey_, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)"},
        {&keyExists_, "SELECT 1 FROM keys WHERE id = ?1"},
        {&upsertValue_,
         "INSERT INTO key_values(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, folded) DO UPDATE SET "
         "name = excluded.name, type = excluded.type, data = excluded.data"},
        {&queryValue_, "SELECT name, type, data FROM key_values WHERE key = ?1 AND folded = ?2"},
        {&deleteValue_, "DELETE FROM key_values WHERE key = ?1 AND folded = ?2"},
        {&enumerateValue_,
         "SELECT name, type, data FROM key_values WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2"},
    };
    for (const auto& s : statements) {
        if (sqlite3_prepare_v3(db_, s.sql, -1, SQLITE_PREPARE_PERSISTENT, s.statement, nullptr) !=
            SQLITE_OK) {
            return Result::IoError;
        }
    }
    return Result::Ok;
}

Result RegistryStore::FindChild(KeyId parent, const std::u16string& folded, KeyId* child) {
    StatementScope scope(findChild_);
    sqlite3_bind_int64(findChild_, 1, parent);
    BindUnits(findChild_, 2, folded);
    const int rc = sqlite3_step(findChild_);
    if (rc == SQLITE_ROW) {
        *child = sqlite3_column_int64(findChild_, 0);
        return Result::Ok;
    }
    return rc == SQLITE_DONE ? Result::NotFound : Result::IoError;
}

bool RegistryStore::KeyExists(KeyId key) {
    if (key == kRootKey) {
        return true;
    }
    StatementScope scope(keyExists_);
    sqlite3_bind_int64(keyExists_, 1, key);
    return sqlite3_step(keyExists_) == SQLITE_ROW;
}

Result RegistryStore::CreateKey(KeyId parent, std::u16string_view path, KeyId* key, bool* created) {
    std::vector<std::u16string_view> components;
    if (!SplitPath(path, &components)) {
        return Result::InvalidName;
    }
    std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.Began()) {
        return Result::IoError;
    }
    if (!KeyExists(parent)) {
        return Result::NotFound;
    }
    KeyId current = parent;
    bool made = false;
    for (std::u16string_view component : components) {
        const std::u16string folded = Fold(component);
        KeyId child = 0;
        Result found = FindChild(current, folded, &child);
        if (found == Result::NotFound) {
            StatementScope scope(insertKey_);
            sqlite3_bind_int64(insertKey_, 1, current);
            BindUnits(insertKey_, 2, component);
            BindUnits(insertKey_, 3, folded);
            if (sqlite3_step(insertKey_) != SQLITE_DONE) {
                return Result::IoError;
            }
            child = sqlite3_last_insert_rowid(db_);
            made = true;
        } else if (found != Result::Ok) {
            return found;
        } else {
            made = false;
        }
        current = child;
    }
    if (!transaction.Commit()) {
        return Result::IoError;
    }
    *key = current;
    if (created != nullptr) {
        *created = made;
    }
    return Result::Ok;
}

Result RegistryStore::OpenKey(KeyId parent, std::u16string_view path, KeyId* key) {
    std::vector<std::u16string_view> components;
    if (!SplitPath(path, &components)) {
        return Result::InvalidName;
    }
    std::lock_guard lock(mutex_);
    if (!KeyExists(parent)) {
        return Result::NotFound;
    }
    KeyId current = parent;
    for (std::u16string_view component : components) {
        const Result found = FindChild(current, Fold(component), &current);
        if (found != Result::Ok) {
            return found;
        }
    }
    *key = current;
    return Result::Ok;
}

Result RegistryStore::DeleteKey(KeyId parent, std::u16string_view path) {
    std::vector<std::u16string_view> components;
    if (!SplitPath(path, &components)) {
        return Result::InvalidName;
    }
    if (parent == kRootKey && components.empty()) {
        return Result::InvalidName;
    }
    std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.Began()) {
        return Result::IoError;
    }
    if (!KeyExists(parent)) {
        return Result::NotFound;
    }
    KeyId key = parent;
    for (std::u16string_view component : components) {
        const Result found = FindChild(key, Fold(component), &key);
        if (found != Result::Ok) {
            return found;
        }
    }
    // The subtree is collected once and both tables are cleared from that list, so a value can
    // never be left behind pointing at a deleted key.
    constexpr const char* kDeleteSubtree = R"sql(
CREATE TEMP TABLE IF NOT EXISTS doomed(id INTEGER PRIMARY KEY);
DELETE FROM temp.doomed;
WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL
    SELECT keys.id FROM keys JOIN subtree ON keys.parent = subtree.id)
INSERT INTO temp.doomed SELECT id FROM subtree;
DELETE FROM key_values WHERE key IN (SELECT id FROM temp.doomed);
DELETE FROM keys WHERE id IN (SELECT id FROM temp.doomed);
DELETE FROM temp.doomed;
)sql";
    const char* next = kDeleteSubtree;
    while (next != nullptr && *next != '\0') {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, next, -1, &statement, &next) != SQLITE_OK) {
            return Result::IoError;
        }
        if (statement == nullptr) {
            break;  // trailing white space
        }
        if (sqlite3_bind_parameter_count(statement) > 0) {
            sqlite3_bind_int64(statement, 1, key);
        }
        const int rc = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) {
            return Result::IoError;
        }
    }
    return transaction.Commit() ? Result::Ok : Result::IoError;
}

Result RegistryStore::SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                               std::span<const std::uint8_t> data) {
    if (name.size() > kMaxValueNameChars) {
        return Result::InvalidName;
    }
    std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.Began()) {
        return Result::IoError;
    }
    if (key == kRootKey || !KeyExists(key)) {
        return Result::NotFound;
    }
    {
        StatementScope scope(upsertValue_);
        sqlite3_bind_int64(upsertValue_, 1, key);
        BindUnits(upsertValue_, 2, name);
        BindUnits(upsertValue_, 3, Fold(name));
        sqlite3_bind_int64(upsertValue_, 4, type);
        BindBytes(upsertValue_, 5, data);
        if (sqlite3_step(upsertValue_) != SQLITE_DONE) {
            return Result::IoError;
        }
    }
    return transaction.Commit() ? Result::Ok : Result::IoError;
}

Result RegistryStore::QueryValue(KeyId key, std::u16string_view name, Value* value) {
    std::lock_guard lock(mutex_);
    StatementScope scope(queryValue_);
    sqlite3_bind_int64(queryValue_, 1, key);
    BindUnits(queryValue_, 2, Fold(name));
    const int rc = sqlite3_step(queryValue_);
    if (rc != SQLITE_ROW) {
        return rc == SQLITE_DONE ? Result::NotFound : Result::IoError;
    }
    value->name = ColumnUnits(queryValue_, 0);
    value->type = static_cast<std::uint32_t>(sqlite3_column_int64(queryValue_, 1));
    value->data = ColumnBytes(queryValue_, 2);
    return Result::Ok;
}

Result RegistryStore::DeleteValue(KeyId key, std::u16string_view name) {
    std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.Began()) {
        return Result::IoError;
    }
    {
        StatementScope scope(deleteValue_);
        sqlite3_bind_int64(deleteValue_, 1, key);
        BindUnits(deleteValue_, 2, Fold(name));
        if (sqlite3_step(deleteValue_) != SQLITE_DONE) {
            return Result::IoError;
        }
    }
    if (sqlite3_changes(db_) == 0) {
        return Result::NotFound;
    }
    return transaction.Commit() ? Result::Ok : Result::IoError;
}

Result RegistryStore::EnumerateValue(KeyId key, std::uint32_t index, Value* value) {
    std::lock_guard lock(mutex_);
    StatementScope scope(enumerateValue_);
    sqlite3_bind_int64(enumerateValue_, 1, key);
    sqlite3_bind_int64(enumerateValue_, 2, index);
    const int rc = sqlite3_step(enumerateValue_);
    if (rc != SQLITE_ROW) {
        return rc == SQLITE_DONE ? Result::NoMoreEntries : Result::IoError;
    }
    value->name = ColumnUnits(enumerateValue_, 0);
    value->type = static_cast<std::uint32_t>(sqlite3_column_int64(enumerateValue_, 1));
    value->data = ColumnBytes(enumerateValue_, 2);
    return Result::Ok;
}

}  // namespace registry
