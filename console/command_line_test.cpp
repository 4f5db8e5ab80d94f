// The command line: usage, every error message, and the rule commands against the simulated
// driver behind a real socket, checking what reached the driver's rule commands.
#include "command_line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "control/command_handlers.h"
#include "testing/engine_fixture.h"

namespace vesk::console {
namespace {

// The driver's rule commands, recorded; each answers with a status the test chooses.
class RecordingRules final : public driver::RuleCommands {
  public:
    struct Call {
        std::string command;
        std::uint32_t category = 0;
        std::uint32_t operations = 0;
        std::uint32_t processId = 0;
        std::uint32_t flags = 0;
        std::uint32_t ruleStore = 0;
        std::u16string pattern;
        bool operator==(const Call&) const = default;
    };

    kernel::NTSTATUS ResolvePendingRules() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS AddRule(const driver::AddRuleRequest& r) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({"add", r.category, r.operations, r.processId, r.flags, 0, Text(r.pattern)});
        ids_.push_back(r.ruleId);
        return answer_;
    }
    kernel::NTSTATUS DeleteRule(std::uint32_t ruleStore,
                                const kernel::UnicodeString* pattern) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({"delete", 0, 0, 0, 0, ruleStore, Text(pattern)});
        return answer_;
    }
    kernel::NTSTATUS ClearRules(std::uint32_t ruleStore) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({"clear", 0, 0, 0, 0, ruleStore, {}});
        return answer_;
    }

    std::vector<Call> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<wire::Guid> Ids() {
        std::lock_guard lock(mutex_);
        return ids_;
    }
    void Answer(kernel::NTSTATUS status) { answer_ = status; }

  private:
    static std::u16string Text(const kernel::UnicodeString* s) {
        return s != nullptr && s->Buffer != nullptr ? std::u16string(s->Buffer, s->Length / 2)
                                                    : std::u16string();
    }

    std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<wire::Guid> ids_;
    std::atomic<kernel::NTSTATUS> answer_{kernel::STATUS_SUCCESS};
};

std::string Veskd(const std::vector<std::string>& arguments) {
    StringOutput out;
    RunCommandLine(arguments, ConsoleIo{out, -1, -1, false});
    return out.Text();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(Usage, ShortWithoutACommandAndFullForHelpInAnyCase) {
    const std::string brief = Veskd({});
    const std::vector<std::string> briefLines = Lines(brief);
    ASSERT_EQ(briefLines.size(), 16u);
    EXPECT_EQ(briefLines[0], "Vesk");
    EXPECT_EQ(briefLines[3], std::string(28, '-'));
    EXPECT_EQ(briefLines[15], "  veskd help");

    const std::string full = Veskd({"HELP"});
    const std::vector<std::string> fullLines = Lines(full);
    ASSERT_EQ(fullLines.size(), 50u);
    EXPECT_EQ(full.substr(0, brief.size()), brief);
    EXPECT_EQ(fullLines[18], "  mon\t\tStarts demo in monitor mode.");
    EXPECT_EQ(fullLines[49], "    Monitors reads and writes for a files with .txt extension.");
    for (const auto& help : std::vector<std::vector<std::string>>{
             {"/?"}, {"/H"}, {"help", "extra", "words"}}) {
        EXPECT_EQ(Veskd(help), full) << help[0];
    }
}

// Refusals before anything is done: none of them may reach the driver.
class Refusals : public testing::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        driver_->rules = &rules_;
    }
    void TearDown() override {
        driver_->rules = nullptr;
        EngineTest::TearDown();
    }
    RecordingRules rules_;
};

TEST_F(Refusals, EveryErrorMessage) {
    const std::string redundant = "ERROR: redundant parameters found, remove them.\r\n";
    const std::string notEnough = "ERROR: not enough parameters, see '/?' for details.\r\n";
    const struct Case {
        std::vector<std::string> arguments;
        std::string output;
    } cases[] = {
        {{"mon", "rw", "*.txt", "extra"}, redundant},
        {{"stat", "x"}, redundant},
        {{"load", "x"}, redundant},
        {{"UNLOAD", "x"}, redundant},
        {{"uninstall", "x"}, redundant},
        {{"install", "a", "b"}, redundant},
        {{"install"},
         "ERROR: Install command must be followed by path to\r\n"
         "       a directory where engine files are located.\r\n"},
        {{"rule"}, "ERROR: command not specified, see '/?' for details.\r\n"},
        {{"rule", "add"}, notEnough},
        {{"rule", "add", "rw"}, notEnough},
        {{"rule", "delete"}, notEnough},
        {{"rule", "delete", "*.log", "everything"},
         "ERROR: the specified delete type is invalid.\r\n"},
        {{"rule", "clear", "memory"}, "ERROR: the specified clear type is invalid.\r\n"},
        {{"rule", "remove", "*.log"}, "ERROR: an unknown command was specified.\r\n"},
        {{"monitor"}, "ERROR: the specified command is unexpected.\r\n"},
        {{"--help"}, "ERROR: the specified command is unexpected.\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Veskd(c.arguments), c.output) << ::testing::PrintToString(c.arguments);
    }
    EXPECT_TRUE(rules_.Calls().empty());
}

using RuleCommands = Refusals;
using Call = RecordingRules::Call;

TEST_F(RuleCommands, AddTurnsTheFilterIntoCategoryAndMask) {
    EXPECT_EQ(Veskd({"rule", "add", "x", "*.tmp"}),
              "New rule:\r\n  Name pattern:\r\n    *.tmp\r\n  Specified filter options:\r\n"
              "Success.\r\n");
    EXPECT_EQ(Veskd({"rule", "add", "xy", "*.tmp"}),
              "New rule:\r\n  Name pattern:\r\n    *.tmp\r\n  Specified filter options:\r\n"
              "  ERROR: one or more invalid filter entries were specified.\r\n");
    EXPECT_EQ(Veskd({"RULE", "Add", "RP", "*.log", "/S", "ignored"}),
              "New rule:\r\n  Name pattern:\r\n    *.log\r\n  Specified filter options:\r\n"
              "    read\r\n    threads and processes\r\nSuccess.\r\n");
    EXPECT_EQ(Veskd({"rule", "add", "*", "", "/x"}),
              "New rule:\r\n  Name pattern:\r\n    *\r\n  Specified filter options:\r\n"
              "    all operations\r\nSuccess.\r\n");
    EXPECT_EQ(Veskd({"rule", "add", "rw", "/srv/\xC3\xA4*"}),
              "New rule:\r\n  Name pattern:\r\n    /srv/\xC3\xA4*\r\n  Specified filter options:\r\n"
              "    read\r\n    write\r\nSuccess.\r\n");
    EXPECT_EQ(rules_.Calls(),
              (std::vector<Call>{
                  {"add", 0, 0, 0xFFFFFFFF, 0, 0, u"*.tmp"},
                  {"add", 1, 1, 0xFFFFFFFF, 1, 0, u"*.log"},
                  {"add", 0, 0, 0xFFFFFFFF, 0, 0, u""},
                  {"add", 2, 0x4000000 | 0x8 | 0x4, 0xFFFFFFFF, 0, 0, u"/srv/ä*"},
              }));
    const auto ids = rules_.Ids();
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_NE(std::memcmp(&ids[0], &ids[1], sizeof ids[0]), 0) << "a new identifier per rule";
}

TEST_F(RuleCommands, DeleteAndClearNameTheirRuleStore) {
    EXPECT_EQ(Veskd({"rule", "delete", "*.log", "all"}),
              "Delete rule:\r\n  Type:\r\n    in-memory & database rules\r\n"
              "  Name pattern:\r\n    *.log\r\nSuccess.\r\n");
    EXPECT_EQ(Veskd({"rule", "delete", "", "DB"}),
              "Delete rule:\r\n  Type:\r\n    database rules\r\n  Name pattern:\r\n    *\r\n"
              "Success.\r\n");
    EXPECT_EQ(Veskd({"rule", "clear"}), "Clear rules:\r\n  Type:\r\n    in-memory rules\r\nSuccess.\r\n");
    EXPECT_EQ(Veskd({"rule", "clear", "mem"}),
              "Clear rules:\r\n  Type:\r\n    in-memory rules\r\nSuccess.\r\n");
    EXPECT_EQ(rules_.Calls(), (std::vector<Call>{
                                  {"delete", 0, 0, 0, 0, 3, u"*.log"},
                                  {"delete", 0, 0, 0, 0, 1, u""},
                                  {"clear", 0, 0, 0, 0, 2, {}},
                                  {"clear", 0, 0, 0, 0, 2, {}},
                              }));
}

TEST_F(RuleCommands, TheDriversRefusalIsReportedWithItsCode) {
    rules_.Answer(kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Veskd({"rule", "add", "c", "*"}),
              "New rule:\r\n  Name pattern:\r\n    *\r\n  Specified filter options:\r\n"
              "    create\r\n  ERROR: unable to add the specified rule.\r\n"
              "         Win32 error code = 87\r\n");
    EXPECT_EQ(Veskd({"rule", "delete", "*.log"}),
              "Delete rule:\r\n  Type:\r\n    in-memory rules\r\n  Name pattern:\r\n    *.log\r\n"
              "  ERROR: unable to delete the specified rule.\r\n         Win32 error code = 87\r\n");
    EXPECT_EQ(Veskd({"rule", "clear", "all"}),
              "Clear rules:\r\n  Type:\r\n    in-memory & database rules\r\n"
              "  ERROR: unable to clear the specified rules.\r\n         Win32 error code = 87\r\n");
}

TEST_F(RuleCommands, WithoutADriverTheConnectionsFailureIsReported) {
    StopServer();
    const std::string output = Veskd({"rule", "clear"});
    EXPECT_EQ(output.substr(0, output.rfind("= ") + 2),
              "Clear rules:\r\n  Type:\r\n    in-memory rules\r\n"
              "  ERROR: unable to clear the specified rules.\r\n         Win32 error code = ");
    EXPECT_NE(output.substr(output.rfind("= ") + 2), "0\r\n");
}

}  // namespace
}  // namespace vesk::console
