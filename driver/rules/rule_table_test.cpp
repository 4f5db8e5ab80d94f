#include "rule_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "rules_test_fixture.h"
#include "testing/control_messages.h"
#include "testing/driver_harness.h"

namespace {

using namespace kernel;
using namespace vesk::testing;
namespace wire = vesk::wire;

constexpr std::uint32_t kExclude = wire::VeskRuleExclude;
constexpr std::uint32_t kSave = wire::VeskRuleSave;
constexpr std::uint32_t kProcess = wire::VeskCategoryProcess;
constexpr std::uint32_t kFiles = wire::VeskCategoryFileSystem;
constexpr std::uint32_t kOtherProcess = 4321;

struct RuleSpec {
    std::u16string pattern;
    std::uint32_t flags = 0;
    std::uint32_t processId = wire::kRuleAnyProcess;
    std::uint32_t category = 0;
    std::uint32_t operations = 0;
};

struct Event {
    std::u16string name;
    std::uint32_t processId;
    std::uint32_t category;
    std::uint32_t operation;
    bool reported;
};

struct Scenario {
    const char* what;
    std::vector<RuleSpec> rules;
    std::vector<Event> events;
};

class RuleTableTest : public RulesTest {};

TEST_F(RuleTableTest, TheFirstMatchingRuleDecides) {
    const std::u16string d = u"\\Device\\HarddiskVolume2";
    const Scenario scenarios[] = {
        {"an empty table reports everything, names or not",
         {},
         {{u"", kTestProcessId, kFiles, wire::VeskOpCreate, true},
          {u"x", kTestProcessId, kProcess, 0, true}}},
        {"an exclusion alone suppresses everything",
         {{u"*.TMP", kExclude}},
         {{d + u"\\a.tmp", kTestProcessId, kFiles, wire::VeskOpCreate, false},
          {d + u"\\a.txt", kTestProcessId, kFiles, wire::VeskOpCreate, false}}},
        {"a process's exclusion before an allow-all",
         {{u"", kExclude, kOtherProcess}, {u"*"}},
         {{d + u"\\a", kOtherProcess, kFiles, wire::VeskOpWrite, false},
          {d + u"\\a", kTestProcessId, kFiles, wire::VeskOpWrite, true}}},
        {"without a name nothing is reported while rules exist",
         {{u""}},
         {{u"", kTestProcessId, kFiles, wire::VeskOpCreate, false},
          {u"n", kTestProcessId, kFiles, wire::VeskOpCreate, true}}},
        {"category 1 with mask 2: creations (class 0) pass, exits (class 1) do not",
         {{u"", 0, wire::kRuleAnyProcess, kProcess, 0x2}},
         {{u"\\Device\\HarddiskVolume1\\app.exe", kTestProcessId, kProcess, 0, true},
          {u"\\Device\\HarddiskVolume1\\app.exe", kTestProcessId, kProcess, 1, false},
          {u"\\Device\\HarddiskVolume1\\app.exe", kTestProcessId, kFiles, 0, false}}},
        {"the class must be inside the mask",
         {{u"", 0, wire::kRuleAnyProcess, 0, wire::VeskOpRead | wire::VeskOpWrite}},
         {{d + u"\\f", kTestProcessId, kFiles, wire::VeskOpRead, true},
          {d + u"\\f", kTestProcessId, kFiles, wire::VeskOpCreate, false}}},
        {"a drive-letter pattern matches the device form, ignoring case",
         {{u"D:\\DATA\\*"}},
         {{d + u"\\data\\sub\\f.txt", kTestProcessId, kFiles, wire::VeskOpCreate, true},
          {u"\\DEVICE\\HARDDISKVOLUME2\\DATA\\x", kTestProcessId, kFiles, wire::VeskOpCreate, true},
          {d + u"\\other\\f.txt", kTestProcessId, kFiles, wire::VeskOpCreate, false},
          {u"\\Device\\HarddiskVolume1\\DATA\\x", kTestProcessId, kFiles, wire::VeskOpCreate,
           false},
          {u"D:\\DATA\\x", kTestProcessId, kFiles, wire::VeskOpCreate, false}}},
        {"a network drive's pattern matches the Mup form",
         {{u"z:\\docs\\*.doc"}},
         {{u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\Docs\\a.DOC",
           kTestProcessId, kFiles, wire::VeskOpCreate, true}}},
        {"DOS wildcards in a pattern",
         {{u"*\\<.LOG"}},
         {{d + u"\\a.b.log", kTestProcessId, kFiles, wire::VeskOpCreate, true},
          {d + u"\\a.log.txt", kTestProcessId, kFiles, wire::VeskOpCreate, false}}},
        {"a pending rule takes part in no check",
         {{u"Q:\\*"}, {u"*.TXT", kExclude}},
         {{u"\\Device\\Q\\a.txt", kTestProcessId, kFiles, wire::VeskOpCreate, false},
          {u"\\Device\\Q\\a.bin", kTestProcessId, kFiles, wire::VeskOpCreate, false}}},
    };
    for (const Scenario& s : scenarios) {
        ASSERT_EQ(table_->ClearRules(wire::VeskRuleStoreMemory), STATUS_SUCCESS);
        std::uint32_t id = 1;
        for (const RuleSpec& r : s.rules) {
            ASSERT_EQ(Add(id++, r.pattern, r.flags, r.processId, r.category, r.operations),
                      STATUS_SUCCESS)
                << s.what;
        }
        for (const Event& e : s.events) {
            EXPECT_EQ(Reports(e.name, e.processId, e.category, e.operation), e.reported)
                << s.what << ": " << Narrow(e.name) << " class " << e.operation;
        }
    }
}

TEST_F(RuleTableTest, ActivationResolvesPendingRulesOrFailsWithTheirStatus) {
    ASSERT_EQ(Add(1, u"*.TMP", kExclude), STATUS_SUCCESS);
    ASSERT_EQ(Add(2, u"Q:\\*"), STATUS_SUCCESS);  // Q does not exist yet: pending
    ASSERT_EQ(Add(3, u"R:\\*"), STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\Q\\a.txt"));

    sim::Objects::AddDevice(u"\\Device\\Q");
    sim::Objects::AddDrive(u'Q', u"\\Device\\Q");
    // R still does not resolve: activation fails with the look-up's status, Q stays resolved.
    EXPECT_EQ(table_->ResolvePendingRules(), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_TRUE(Reports(u"\\Device\\Q\\a.txt"));
    EXPECT_FALSE(Reports(u"\\Device\\Q\\a.tmp"));
    EXPECT_FALSE(Reports(u"\\Device\\R\\a.txt"));

    sim::Objects::AddDevice(u"\\Device\\R");
    sim::Objects::AddDrive(u'R', u"\\Device\\R");
    EXPECT_EQ(table_->ResolvePendingRules(), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\R\\a.txt"));
}

TEST_F(RuleTableTest, ARuleWithTheSameIdIsUpdatedInItsPlace) {
    ASSERT_EQ(Add(1, u"*.TMP", kExclude), STATUS_SUCCESS);
    ASSERT_EQ(Add(2, u"*"), STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\a.tmp"));

    // Rule 1 now excludes .log files, and is still checked before the allow-all.
    ASSERT_EQ(Add(1, u"*.LOG", kExclude), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\a.tmp"));
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\a.log"));

    // A pending rule is no update of a resolved one with the same id: it is added.
    ASSERT_EQ(Add(1, u"Q:\\*", kExclude), STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\HarddiskVolume2\\a.log"));
    EXPECT_EQ(QueryPoolTag(vesk::driver::kTagRule).Outstanding(), 4u) << "three rules, one state";
}

TEST_F(RuleTableTest, DeleteComparesWithTheStoredPattern) {
    ASSERT_EQ(Add(1, u"D:\\DATA\\*"), STATUS_SUCCESS);
    ASSERT_EQ(Add(2, u""), STATUS_SUCCESS);   // no pattern: not reachable by delete
    ASSERT_EQ(Add(3, u"*"), STATUS_SUCCESS);  // reachable by "*" or the empty pattern
    const auto rules = [] { return QueryPoolTag(vesk::driver::kTagRule).Outstanding() - 1; };
    ASSERT_EQ(rules(), 3u);

    const std::u16string driveForm = u"D:\\DATA\\*";
    const std::u16string deviceForm = u"\\device\\harddiskvolume2\\data\\*";
    const std::u16string star = u"*";
    const UnicodeString drive = Text(driveForm);
    const UnicodeString device = Text(deviceForm);
    const UnicodeString starText = Text(star);
    EXPECT_EQ(table_->DeleteRule(wire::VeskRuleStoreMemory, &drive), STATUS_SUCCESS);
    EXPECT_EQ(rules(), 3u) << "the drive-letter form no longer names the resolved rule";
    EXPECT_EQ(table_->DeleteRule(wire::VeskRuleStoreMemory, &device), STATUS_SUCCESS);
    EXPECT_EQ(rules(), 2u);
    EXPECT_EQ(table_->DeleteRule(wire::VeskRuleStoreMemory, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(rules(), 1u);
    EXPECT_EQ(table_->DeleteRule(wire::VeskRuleStoreMemory, &starText), STATUS_SUCCESS);
    EXPECT_EQ(rules(), 1u) << "the rule without a pattern stays";
    EXPECT_EQ(table_->DeleteRule(wire::VeskRuleStoreMemory | wire::VeskRuleStoreDatabase, &device),
              STATUS_SUCCESS)
        << "deleting what is not there is no error";
}

// Every allocation of an add may fail: the table and the database are then as before, and a value
// saved earlier under the same pattern is still there.
TEST_F(RuleTableTest, AFailedAddLeavesTableAndDatabaseAsTheyWere) {
    {
        // Saved earlier, by the driver's previous life.
        vesk::driver::RuleTable earlier;
        ASSERT_EQ(earlier.LoadDatabase(Text(kServiceKey)), STATUS_SUCCESS);
        const std::u16string pattern = u"D:\\LOGS\\*";
        const UnicodeString text = Text(pattern);
        ASSERT_EQ(
            earlier.AddRule({MakeGuid(1), wire::kRuleAnyProcess, kSave | kExclude, 0, 0, &text}),
            STATUS_SUCCESS);
    }

    struct {
        std::uint32_t tag;
        std::uint64_t nth;
    } failures[] = {
        {vesk::driver::kTagRule, 1},    // the node
        {vesk::driver::kTagString, 1},  // the copy of the pattern
        {vesk::driver::kTagRule, 2},    // the matcher's state
    };
    for (const auto& f : failures) {
        FailNthPoolAllocation(f.tag, f.nth);
        EXPECT_EQ(Add(7, u"D:\\LOGS\\*", kSave), STATUS_INSUFFICIENT_RESOURCES)
            << PoolTagText(f.tag) << " " << f.nth;
        FailNthPoolAllocation(f.tag, 0);
        EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\x")) << "the table is still empty";
        vesk::driver::RuleDatabase database;
        ASSERT_EQ(database.Open(Text(kServiceKey)), STATUS_SUCCESS);
        vesk::driver::RuleValueData data{};
        const std::u16string name = u"D:\\LOGS\\*";
        const UnicodeString nameText = Text(name);
        ASSERT_EQ(database.Read(&nameText, &data), STATUS_SUCCESS);
        EXPECT_EQ(data.RuleId.Data1, 1u) << "the earlier saved rule is back";
        EXPECT_EQ(data.RuleFlags, kExclude);
    }

    // A new pattern whose add fails leaves no value behind.
    FailNthPoolAllocation(vesk::driver::kTagRule, 1);
    EXPECT_EQ(Add(8, u"D:\\NEW\\*", kSave), STATUS_INSUFFICIENT_RESOURCES);
    vesk::driver::RuleDatabase database;
    ASSERT_EQ(database.Open(Text(kServiceKey)), STATUS_SUCCESS);
    const std::u16string name = u"D:\\NEW\\*";
    const UnicodeString nameText = Text(name);
    vesk::driver::RuleValueData data{};
    EXPECT_EQ(database.Read(&nameText, &data), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RuleTableTest, ASaveThatFailsAddsNothing) {
    sim::Registry::Close();
    ASSERT_TRUE(sim::Registry::Open(DatabasePath(), /*readOnly=*/true));
    EXPECT_EQ(Add(1, u"*", kSave), STATUS_REGISTRY_IO_FAILED);
    EXPECT_TRUE(Reports(u"\\Device\\HarddiskVolume2\\x")) << "the table is still empty";
    EXPECT_EQ(Add(2, u"*"), STATUS_SUCCESS) << "rules kept in memory only need no registry";
}

// The commands as a client sends them through the port.
class RuleCommandsTest : public DriverHarnessTest {
  protected:
    void SetUp() override {
        DriverHarnessTest::SetUp();
        BuildNamesWorld();
        driver_->rules = &table_;
        client_ = ConnectDefault();
    }
    void TearDown() override {
        client_.reset();
        table_.FreeTable();
        sim::Objects::Reset();
        DriverHarnessTest::TearDown();
    }
    bool Reports(const std::u16string& name) {
        const UnicodeString text = Text(name);
        return table_.Check(kTestProcessId, &text, kFiles, wire::VeskOpCreate);
    }

    vesk::driver::RuleTable table_;
    std::unique_ptr<PortConnection> client_;
};

TEST_F(RuleCommandsTest, AddActivateDeleteAndClearOverThePort) {
    // PatternLength 0: a rule without a pattern.
    ASSERT_EQ(Send(*client_, AddRuleMessage(MakeGuid(1), kOtherProcess, kExclude, 0, 0, u"")),
              STATUS_SUCCESS);
    ASSERT_EQ(Send(*client_, AddRuleMessage(MakeGuid(2), wire::kRuleAnyProcess, 0, 0, 0, u"Q:\\*")),
              STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\Q\\f"));

    sim::Objects::AddDevice(u"\\Device\\Q");
    sim::Objects::AddDrive(u'Q', u"\\Device\\Q");
    ASSERT_EQ(Send(*client_, MessageBuilder(wire::VeskCmdActivate).Build()), STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\Q\\f"));

    const auto remove = MessageBuilder(wire::VeskCmdDeleteRule)
                            .U32(0)
                            .U32(wire::VeskRuleStoreMemory)
                            .CountedText(u"\\DEVICE\\Q\\*")
                            .Build();
    ASSERT_EQ(Send(*client_, remove), STATUS_SUCCESS);
    EXPECT_FALSE(Reports(u"\\Device\\Q\\f")) << "the exclusion-only table remains";

    ASSERT_EQ(Send(*client_,
                   MessageBuilder(wire::VeskCmdClearRules).U32(wire::VeskRuleStoreMemory).Build()),
              STATUS_SUCCESS);
    EXPECT_TRUE(Reports(u"\\Device\\Q\\f"));
}

}  // namespace
