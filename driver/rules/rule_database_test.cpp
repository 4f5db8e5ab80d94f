#include "rule_database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/registry.h"
#include "rules_test_fixture.h"

namespace {

using namespace kernel;
using namespace vesk::testing;
namespace wire = vesk::wire;
namespace driver = vesk::driver;

struct StoredValue {
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

class RuleDatabaseTest : public RulesTest {
  protected:
    // Every value of the rules key, in order, read with the kernel's routines.
    std::vector<StoredValue> Values() {
        std::vector<StoredValue> values;
        RegistryKey* key = nullptr;
        EXPECT_EQ(OpenRegistryKey(nullptr, Text(kRulesKey), &key), STATUS_SUCCESS);
        std::vector<std::uint8_t> buffer(driver::kRuleEnumerationBufferSize);
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t length = 0;
            const NTSTATUS status = EnumerateValueKey(
                key, i, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length);
            if (status == STATUS_NO_MORE_ENTRIES) {
                break;
            }
            EXPECT_EQ(status, STATUS_SUCCESS);
            KeyValueFullInformation fixed;
            std::memcpy(&fixed, buffer.data(), kKeyValueFullInformationFixedSize);
            StoredValue v;
            v.name.assign(reinterpret_cast<const char16_t*>(buffer.data() + 20),
                          fixed.NameLength / 2);
            v.type = fixed.Type;
            v.data.assign(buffer.data() + fixed.DataOffset,
                          buffer.data() + fixed.DataOffset + fixed.DataLength);
            values.push_back(v);
        }
        CloseRegistryKey(key);
        return values;
    }

    void SetForeignValue(const std::u16string& name, std::uint32_t type, std::size_t bytes) {
        RegistryKey* key = nullptr;
        ASSERT_EQ(OpenRegistryKey(nullptr, Text(kRulesKey), &key), STATUS_SUCCESS);
        const std::vector<std::uint8_t> data(bytes, 0x5A);
        ASSERT_EQ(SetValueKey(key, Text(name), type, data.data(),
                              static_cast<std::uint32_t>(data.size())),
                  STATUS_SUCCESS);
        CloseRegistryKey(key);
    }

    // Restarts the driver: the table is freed, the machine's registry reopened from its file,
    // a new table loads the database.
    NTSTATUS Restart() {
        table_.reset();
        sim::Registry::Close();
        EXPECT_TRUE(sim::Registry::Open(DatabasePath()));
        table_ = std::make_unique<driver::RuleTable>();
        return table_->LoadDatabase(Text(kServiceKey));
    }
};

TEST_F(RuleDatabaseTest, SavesRulesAsTwentyEightBytesNamedByTheirPattern) {
    ASSERT_EQ(Add(1, u"d:\\Data\\*", wire::VeskRuleSave | wire::VeskRuleExclude, 77, 2, 0x18),
              STATUS_SUCCESS);
    ASSERT_EQ(Add(2, u"", wire::VeskRuleSave, wire::kRuleAnyProcess, 1, 0), STATUS_SUCCESS);
    ASSERT_EQ(Add(3, u"*.tmp"), STATUS_SUCCESS);  // not saved
    // Same pattern: one value, the later rule's.
    ASSERT_EQ(Add(4, u"d:\\Data\\*", wire::VeskRuleSave, wire::kRuleAnyProcess, 0, 0x4),
              STATUS_SUCCESS);

    const auto values = Values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, u"d:\\Data\\*") << "as received: drive letter, case";
    EXPECT_EQ(values[1].name, u"*") << "a rule without a pattern";
    for (const StoredValue& v : values) {
        EXPECT_EQ(v.type, REG_BINARY);
        ASSERT_EQ(v.data.size(), 28u);
    }
    // RuleId, then flags without the save bit, category, operations; no process id.
    const wire::Guid id4 = MakeGuid(4);
    EXPECT_EQ(std::memcmp(values[0].data.data(), &id4, 16), 0);
    const std::uint32_t tail0[3] = {0, 0, 0x4};
    EXPECT_EQ(std::memcmp(values[0].data.data() + 16, tail0, 12), 0);
    const std::uint32_t tail1[3] = {0, 1, 0};
    EXPECT_EQ(std::memcmp(values[1].data.data() + 16, tail1, 12), 0);
}

TEST_F(RuleDatabaseTest, RulesComeBackAfterARestartForEveryProcess) {
    ASSERT_EQ(Add(1, u"*.TMP", wire::VeskRuleSave | wire::VeskRuleExclude, kTestProcessId),
              STATUS_SUCCESS);
    ASSERT_EQ(Add(2, u"D:\\DATA\\*", wire::VeskRuleSave), STATUS_SUCCESS);
    ASSERT_EQ(Add(3, u"*"), STATUS_SUCCESS);  // memory only: gone after the restart

    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\DATA\\a.txt"));
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\DATA\\a.tmp"));
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\DATA\\a.tmp", 999))
        << "the exclusion now applies to every process";
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume1\\x")) << "the memory-only allow-all is gone";

    // A saved drive that does not exist at load leaves its rule pending; the load succeeds.
    ASSERT_EQ(Add(4, u"Q:\\*", wire::VeskRuleSave), STATUS_SUCCESS);
    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\Q\\x"));
}

TEST_F(RuleDatabaseTest, TheLoadSkipsForeignValuesAndStopsAtRegistryFailures) {
    ASSERT_EQ(Add(1, u"*.LOG", wire::VeskRuleSave), STATUS_SUCCESS);
    SetForeignValue(u"Comment", REG_SZ, 28);
    SetForeignValue(u"short", REG_BINARY, 27);
    SetForeignValue(u"counter", REG_QWORD, 8);
    SetForeignValue(u"huge", REG_BINARY, 100000);  // larger than the enumeration buffer
    ASSERT_EQ(Add(2, u"*.TXT", wire::VeskRuleSave), STATUS_SUCCESS);
    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\a.log"));
    EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\a.txt")) << "values after the huge one load";
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\a.bin"));

    // No memory for a rule: the load fails with that status.
    table_.reset();
    table_ = std::make_unique<driver::RuleTable>();
    FailNthPoolAllocation(vesk::driver::kTagRule, 2);
    EXPECT_EQ(table_->LoadDatabase(Text(kServiceKey)), STATUS_INSUFFICIENT_RESOURCES);
    FailNthPoolAllocation(vesk::driver::kTagRule, 0);

    // No registry: the keys cannot be created.
    table_.reset();
    sim::Registry::Close();
    table_ = std::make_unique<driver::RuleTable>();
    EXPECT_EQ(table_->LoadDatabase(Text(kServiceKey)), STATUS_REGISTRY_IO_FAILED);
}

TEST_F(RuleDatabaseTest, ClearRemovesRuleValuesOnlyAndDeleteIsByValueName) {
    ASSERT_EQ(Add(1, u"*.A", wire::VeskRuleSave), STATUS_SUCCESS);
    SetForeignValue(u"Comment", REG_SZ, 28);
    ASSERT_EQ(Add(2, u"*.B", wire::VeskRuleSave), STATUS_SUCCESS);
    ASSERT_EQ(Add(3, u"*.C", wire::VeskRuleSave), STATUS_SUCCESS);  // adjacent rule values
    SetForeignValue(u"qword rule", REG_QWORD, 28);
    SetForeignValue(u"short", REG_BINARY, 27);
    SetForeignValue(u"long", REG_BINARY, 29);
    ASSERT_EQ(Add(4, u"", wire::VeskRuleSave), STATUS_SUCCESS);

    const std::u16string pattern = u"*.a";
    const UnicodeString text = Text(pattern);
    ASSERT_EQ(table_->DeleteRule(wire::VeskRuleStoreDatabase, &text), STATUS_SUCCESS);
    ASSERT_EQ(table_->DeleteRule(wire::VeskRuleStoreDatabase, &text), STATUS_SUCCESS);
    EXPECT_EQ(Values().size(), 7u);
    EXPECT_TRUE(Reports(u"\\Device\\X\\f.a")) << "the rule in memory stays";

    ASSERT_EQ(table_->ClearRules(wire::VeskRuleStoreDatabase), STATUS_SUCCESS);
    std::vector<std::u16string> left;
    for (const StoredValue& v : Values()) {
        left.push_back(v.name);
    }
    EXPECT_EQ(left, (std::vector<std::u16string>{u"Comment", u"short", u"long"}));
    EXPECT_TRUE(Reports(u"\\Device\\X\\f.b")) << "clearing the database leaves the table";

    ASSERT_EQ(table_->ClearRules(wire::VeskRuleStoreMemory), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\X\\f.zzz"));
}

}  // namespace
