// A rule table on the simulated machine of the name tests, with its database in a registry file of
// the test's own, below the service key the driver is loaded with.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "names/names_test_world.h"
#include "platform/kernel/registry.h"
#include "rule_table.h"
#include "sim_registry.h"
#include "wire/port_wire.h"

namespace vesk::testing {

inline constexpr const char16_t* kServiceKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";
inline constexpr const char16_t* kRulesKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk\\Options\\Rules";

inline wire::Guid MakeGuid(std::uint32_t n) {
    return wire::Guid{n, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
}

class RulesTest : public NamesTest {
  protected:
    void SetUp() override {
        NamesTest::SetUp();
        char pattern[] = "/tmp/vesk-rules-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(sim::Registry::Open(DatabasePath()));
        table_ = std::make_unique<driver::RuleTable>();
        ASSERT_EQ(table_->LoadDatabase(Text(kServiceKey)), kernel::STATUS_SUCCESS);
    }
    void TearDown() override {
        table_.reset();
        sim::Registry::Close();
        std::filesystem::remove_all(dir_);
        NamesTest::TearDown();
    }

    std::string DatabasePath() const { return dir_ + "/registry.db"; }

    kernel::NTSTATUS Add(std::uint32_t id, const std::u16string& pattern, std::uint32_t flags = 0,
                         std::uint32_t processId = wire::kRuleAnyProcess,
                         std::uint32_t category = 0, std::uint32_t operations = 0) {
        const kernel::UnicodeString text = Text(pattern);
        const driver::AddRuleRequest request{MakeGuid(id), processId,
                                             flags,        category,
                                             operations,   pattern.empty() ? nullptr : &text};
        return table_->AddRule(request);
    }

    bool Reports(const std::u16string& name, std::uint32_t processId = kTestProcessId,
                 std::uint32_t category = wire::VeskCategoryFileSystem,
                 std::uint32_t operation = wire::VeskOpCreate) {
        const kernel::UnicodeString text = Text(name);
        return table_->Check(processId, name.empty() ? nullptr : &text, category, operation);
    }

    std::string dir_;
    std::unique_ptr<driver::RuleTable> table_;
};

}  // namespace vesk::testing
