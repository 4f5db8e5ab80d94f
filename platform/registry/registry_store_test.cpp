#include "registry_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace registry {
namespace {

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t fill) {
    return std::vector<std::uint8_t>(count, fill);
}

class RegistryStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vesk-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/registry.db";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::unique_ptr<RegistryStore> OpenStore(const char* vfs = nullptr, bool readOnly = false) {
        std::string error;
        auto store = RegistryStore::Open(path_, &error, vfs, readOnly);
        EXPECT_NE(store, nullptr) << error;
        return store;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(RegistryStoreTest, KeysAreFoundWithoutRegardToCase) {
    auto store = OpenStore();
    KeyId services = 0;
    bool created = false;
    ASSERT_EQ(store->CreateKey(kRootKey, u"\\Registry\\Machine\\System\\Services\\Vesk", &services,
                               &created),
              Result::Ok);
    EXPECT_TRUE(created);

    KeyId again = 0;
    ASSERT_EQ(
        store->CreateKey(kRootKey, u"REGISTRY\\machine\\SYSTEM\\services\\vESK", &again, &created),
        Result::Ok);
    EXPECT_FALSE(created);
    EXPECT_EQ(again, services);

    KeyId machine = 0;
    ASSERT_EQ(store->OpenKey(kRootKey, u"registry\\MACHINE", &machine), Result::Ok);
    KeyId relative = 0;
    ASSERT_EQ(store->OpenKey(machine, u"system\\services\\vesk", &relative), Result::Ok);
    EXPECT_EQ(relative, services);

    KeyId missing = 0;
    EXPECT_EQ(store->OpenKey(kRootKey, u"Registry\\Machine\\Software", &missing), Result::NotFound);
    EXPECT_EQ(store->OpenKey(kRootKey, u"Registry\\\\Machine", &missing), Result::InvalidName);
    EXPECT_EQ(store->CreateKey(kRootKey, u"A\\" + std::u16string(256, u'k'), &missing),
              Result::InvalidName);
}

TEST_F(RegistryStoreTest, ValuesKeepTheirPlaceTheLatestCaseAndExactContent) {
    auto store = OpenStore();
    KeyId key = 0;
    ASSERT_EQ(store->CreateKey(kRootKey, u"Rules", &key), Result::Ok);

    const std::u16string oddName = u"d:\\data\\*\xd800";  // ends in a lone surrogate half
    ASSERT_EQ(store->SetValue(key, oddName, 3, Bytes(28, 1)), Result::Ok);
    ASSERT_EQ(store->SetValue(key, u"", 4, Bytes(4, 2)), Result::Ok);  // the unnamed value
    ASSERT_EQ(store->SetValue(key, u"empty", 3, {}), Result::Ok);
    // Same name in other case: replaces the first value in place and takes the new case.
    const std::u16string upperName = u"D:\\DATA\\*\xd800";
    ASSERT_EQ(store->SetValue(key, upperName, 11, Bytes(8, 3)), Result::Ok);

    struct Expected {
        std::u16string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    } expected[] = {{upperName, 11, Bytes(8, 3)}, {u"", 4, Bytes(4, 2)}, {u"empty", 3, {}}};
    Value value;
    for (std::uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(store->EnumerateValue(key, i, &value), Result::Ok) << i;
        EXPECT_EQ(value.name, expected[i].name) << i;
        EXPECT_EQ(value.type, expected[i].type) << i;
        EXPECT_EQ(value.data, expected[i].data) << i;
    }
    EXPECT_EQ(store->EnumerateValue(key, 3, &value), Result::NoMoreEntries);

    ASSERT_EQ(store->QueryValue(key, u"EMPTY", &value), Result::Ok);
    EXPECT_EQ(value.name, u"empty");
    EXPECT_TRUE(value.data.empty());

    EXPECT_EQ(store->DeleteValue(key, oddName), Result::Ok);
    EXPECT_EQ(store->DeleteValue(key, oddName), Result::NotFound);
    EXPECT_EQ(store->QueryValue(key, oddName, &value), Result::NotFound);
    ASSERT_EQ(store->EnumerateValue(key, 0, &value), Result::Ok);
    EXPECT_EQ(value.name, u"");

    EXPECT_EQ(store->SetValue(key, std::u16string(kMaxValueNameChars + 1, u'v'), 3, {}),
              Result::InvalidName);
    EXPECT_EQ(store->SetValue(key + 1000, u"x", 3, {}), Result::NotFound);
}

TEST_F(RegistryStoreTest, DeletingAKeyTakesItsWholeSubtreeAndNothingElse) {
    auto store = OpenStore();
    KeyId service = 0, deep = 0, sibling = 0;
    ASSERT_EQ(store->CreateKey(kRootKey, u"R\\Services\\Vesk", &service), Result::Ok);
    ASSERT_EQ(store->CreateKey(service, u"Instances\\Instance 0", &deep), Result::Ok);
    ASSERT_EQ(store->CreateKey(kRootKey, u"R\\Services\\Vesker", &sibling), Result::Ok);
    ASSERT_EQ(store->SetValue(service, u"Type", 4, Bytes(4, 1)), Result::Ok);
    ASSERT_EQ(store->SetValue(deep, u"Altitude", 1, Bytes(4, 2)), Result::Ok);
    ASSERT_EQ(store->SetValue(sibling, u"Type", 4, Bytes(4, 3)), Result::Ok);

    EXPECT_EQ(store->DeleteKey(kRootKey, u"r\\services\\VESK"), Result::Ok);
    KeyId key = 0;
    EXPECT_EQ(store->OpenKey(kRootKey, u"R\\Services\\Vesk", &key), Result::NotFound);
    EXPECT_EQ(store->DeleteKey(kRootKey, u"R\\Services\\Vesk"), Result::NotFound);
    Value value;
    ASSERT_EQ(store->QueryValue(sibling, u"Type", &value), Result::Ok);
    EXPECT_EQ(value.data, Bytes(4, 3));

    // A key made again under the old name starts empty: no value of the old one comes back.
    ASSERT_EQ(store->CreateKey(kRootKey, u"R\\Services\\Vesk\\Instances\\Instance 0", &key),
              Result::Ok);
    EXPECT_EQ(store->EnumerateValue(key, 0, &value), Result::NoMoreEntries);
    EXPECT_EQ(store->DeleteKey(kRootKey, u""), Result::InvalidName);
}

TEST_F(RegistryStoreTest, ContentSurvivesReopeningAndReadOnlyStoresRefuseWrites) {
    {
        auto store = OpenStore();
        KeyId key = 0;
        ASSERT_EQ(store->CreateKey(kRootKey, u"Registry\\Machine\\Rules", &key), Result::Ok);
        ASSERT_EQ(store->SetValue(key, u"*", 3, Bytes(28, 7)), Result::Ok);
    }
    auto store = OpenStore(nullptr, true);
    KeyId key = 0;
    ASSERT_EQ(store->OpenKey(kRootKey, u"registry\\machine\\rules", &key), Result::Ok);
    Value value;
    ASSERT_EQ(store->QueryValue(key, u"*", &value), Result::Ok);
    EXPECT_EQ(value.data, Bytes(28, 7));
    EXPECT_EQ(store->SetValue(key, u"other", 3, Bytes(28, 1)), Result::IoError);
    EXPECT_EQ(store->DeleteValue(key, u"*"), Result::IoError);
    EXPECT_EQ(store->DeleteKey(kRootKey, u"Registry\\Machine\\Rules"), Result::IoError);
}

// A VFS over the default one that cuts the power after a given number of writes: from then on
// every write, sync, truncate and delete fails, as if the machine had stopped. What is on disk
// at that moment is what the next open finds.
namespace faulty {

std::atomic<long> writesLeft{-1};
std::atomic<bool> cut{false};
sqlite3_vfs* parent = nullptr;
sqlite3_vfs vfs;

struct File {
    sqlite3_file base;
    sqlite3_file* real;
};
sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<File*>(f)->real;
}

bool MayWrite() {
    if (cut) {
        return false;
    }
    if (writesLeft.load() < 0) {
        return true;
    }
    if (writesLeft.load() == 0) {
        cut = true;
        return false;
    }
    --writesLeft;
    return true;
}

int Close(sqlite3_file* f) {
    return Real(f)->pMethods->xClose(Real(f));
}
int Read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
    return Real(f)->pMethods->xRead(Real(f), b, n, o);
}
int Write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
    return MayWrite() ? Real(f)->pMethods->xWrite(Real(f), b, n, o) : SQLITE_IOERR_WRITE;
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    return MayWrite() ? Real(f)->pMethods->xTruncate(Real(f), size) : SQLITE_IOERR_TRUNCATE;
}
int Sync(sqlite3_file* f, int flags) {
    return MayWrite() ? Real(f)->pMethods->xSync(Real(f), flags) : SQLITE_IOERR_FSYNC;
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int l) {
    return Real(f)->pMethods->xLock(Real(f), l);
}
int Unlock(sqlite3_file* f, int l) {
    return Real(f)->pMethods->xUnlock(Real(f), l);
}
int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) {
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}

sqlite3_io_methods Methods() {
    sqlite3_io_methods m{};
    m.iVersion = 1;  // no shared memory, no memory mapping: the rollback journal only
    m.xClose = Close;
    m.xRead = Read;
    m.xWrite = Write;
    m.xTruncate = Truncate;
    m.xSync = Sync;
    m.xFileSize = FileSize;
    m.xLock = Lock;
    m.xUnlock = Unlock;
    m.xCheckReservedLock = CheckReservedLock;
    m.xFileControl = FileControl;
    m.xSectorSize = SectorSize;
    m.xDeviceCharacteristics = DeviceCharacteristics;
    return m;
}
const sqlite3_io_methods kMethods = Methods();

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* file = reinterpret_cast<File*>(f);
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    const int rc = parent->xOpen(parent, name, file->real, flags, outFlags);
    file->base.pMethods =
        (rc == SQLITE_OK && file->real->pMethods != nullptr) ? &kMethods : nullptr;
    return rc;
}
int Delete(sqlite3_vfs*, const char* name, int syncDir) {
    return cut ? SQLITE_IOERR_DELETE : parent->xDelete(parent, name, syncDir);
}

const char* Register() {
    if (parent == nullptr) {
        parent = sqlite3_vfs_find(nullptr);
        vfs = *parent;
        vfs.iVersion = 1;
        vfs.zName = "vesk-power-cut";
        vfs.szOsFile = static_cast<int>(sizeof(File)) + parent->szOsFile;
        vfs.xOpen = Open;
        vfs.xDelete = Delete;
        sqlite3_vfs_register(&vfs, 0);
    }
    return vfs.zName;
}

}  // namespace faulty

// Cuts the power after every possible number of writes of one value replacement and one key
// creation: the database reopened afterwards is intact and holds either the old or the new
// state of each, never a part.
TEST_F(RegistryStoreTest, AWriteInterruptedAnywhereLeavesNoPartialValue) {
    const char* vfs = faulty::Register();
    const auto oldData = Bytes(20000, 0xAA);
    const auto newData = Bytes(30000, 0x55);
    int cuts = 0;
    for (long allowed = 0;; ++allowed) {
        std::filesystem::remove(path_);
        {
            auto store = OpenStore();
            KeyId key = 0;
            ASSERT_EQ(store->CreateKey(kRootKey, u"Rules", &key), Result::Ok);
            ASSERT_EQ(store->SetValue(key, u"big", 3, oldData), Result::Ok);
        }
        faulty::cut = false;
        faulty::writesLeft = allowed;
        Result setResult;
        Result createResult = Result::IoError;
        {
            auto store = OpenStore(vfs);
            KeyId key = 0;
            ASSERT_EQ(store->OpenKey(kRootKey, u"Rules", &key), Result::Ok);
            setResult = store->SetValue(key, u"big", 3, newData);
            KeyId deep = 0;
            if (setResult == Result::Ok) {
                createResult = store->CreateKey(kRootKey, u"A\\B\\C", &deep);
            }
        }
        const bool wasCut = faulty::cut;
        faulty::writesLeft = -1;
        faulty::cut = false;

        auto store = OpenStore();
        KeyId key = 0;
        ASSERT_EQ(store->OpenKey(kRootKey, u"Rules", &key), Result::Ok);
        Value value;
        ASSERT_EQ(store->QueryValue(key, u"big", &value), Result::Ok);
        if (setResult == Result::Ok) {
            EXPECT_EQ(value.data, newData) << "after " << allowed << " writes";
        } else {
            EXPECT_TRUE(value.data == oldData || value.data == newData)
                << "after " << allowed << " writes: " << value.data.size() << " bytes";
        }
        KeyId a = 0;
        KeyId abc = 0;
        const bool hasA = store->OpenKey(kRootKey, u"A", &a) == Result::Ok;
        const bool hasAbc = store->OpenKey(kRootKey, u"A\\B\\C", &abc) == Result::Ok;
        EXPECT_EQ(hasA, hasAbc) << "after " << allowed << " writes";
        if (createResult == Result::Ok) {
            EXPECT_TRUE(hasAbc);
        }
        store.reset();

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        std::string integrity;
        sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += values[0];
                return 0;
            },
            &integrity, nullptr);
        sqlite3_close(db);
        EXPECT_EQ(integrity, "ok") << "after " << allowed << " writes";

        if (!wasCut) {
            EXPECT_EQ(createResult, Result::Ok);
            break;
        }
        ++cuts;
        ASSERT_LT(allowed, 1000) << "the writes never completed";
    }
    EXPECT_GT(cuts, 3);
}

}  // namespace
}  // namespace registry
