#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "rule_table.h"
#include "rules_test_fixture.h"
#include "wire/port_wire.h"

namespace {

using namespace kernel;
using namespace vesk::testing;
namespace wire = vesk::wire;

class RuleTableThreadedTest : public NamesTest {};

// Checks run on many threads while commands change the table: every answer is one the table
// could give at some moment (the exclusion is added before and removed after the churn), and
// nothing is torn or leaked.
TEST_F(RuleTableThreadedTest, ChecksRaceWithCommands) {
    vesk::driver::RuleTable table;
    const std::u16string excluded = u"*.TMP";
    const UnicodeString excludedText = Text(excluded);
    ASSERT_EQ(table.AddRule(
                  {MakeGuid(0), wire::kRuleAnyProcess, wire::VeskRuleExclude, 0, 0, &excludedText}),
              STATUS_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> checkers;
    for (int t = 0; t < 3; ++t) {
        checkers.emplace_back([&] {
            const std::u16string tmp = u"\\Device\\HarddiskVolume2\\a.tmp";
            const UnicodeString tmpText = Text(tmp);
            while (!stop) {
                if (table.Check(1, &tmpText, wire::VeskCategoryFileSystem, wire::VeskOpCreate)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::uint32_t i = 1; i <= 300; ++i) {
        const std::u16string pattern =
            u"\\DEVICE\\HARDDISKVOLUME2\\DIR" + std::u16string(i % 7 + 1, u'X') + u"\\*";
        const UnicodeString text = Text(pattern);
        ASSERT_EQ(table.AddRule({MakeGuid(i % 50 + 1), wire::kRuleAnyProcess, 0, 0, 0, &text}),
                  STATUS_SUCCESS);
        if (i % 3 == 0) {
            ASSERT_EQ(table.DeleteRule(wire::VeskRuleStoreMemory, &text), STATUS_SUCCESS);
        }
        if (i % 100 == 0) {
            ASSERT_EQ(table.ResolvePendingRules(), STATUS_SUCCESS);
        }
    }
    stop = true;
    for (auto& t : checkers) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    table.FreeTable();
}

}  // namespace
