#include "command_dispatcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"
#include "testing/driver_harness.h"
#include "testing/wire_reader.h"

namespace {

using namespace kernel;
using vesk::testing::MessageBuilder;
using vesk::testing::U16;
namespace wire = vesk::wire;
namespace driver = vesk::driver;

// Components that record what the dispatcher handed them.
struct RecordingRules : driver::RuleCommands {
    NTSTATUS resolveStatus = STATUS_SUCCESS;
    int resolves = 0;
    std::optional<driver::AddRuleRequest> added;
    std::u16string pattern;
    bool hadPattern = false;
    std::optional<std::uint32_t> deleteStore, clearStore;

    NTSTATUS ResolvePendingRules() override {
        ++resolves;
        return resolveStatus;
    }
    NTSTATUS AddRule(const driver::AddRuleRequest& r) override {
        added = r;
        Keep(r.pattern);
        return STATUS_SUCCESS;
    }
    NTSTATUS DeleteRule(std::uint32_t store, const UnicodeString* p) override {
        deleteStore = store;
        Keep(p);
        return STATUS_SUCCESS;
    }
    NTSTATUS ClearRules(std::uint32_t store) override {
        clearStore = store;
        return STATUS_SUCCESS;
    }
    void Keep(const UnicodeString* p) {
        hadPattern = p != nullptr;
        pattern = p ? std::u16string(p->Buffer, p->Length / 2) : u"";
        if (p != nullptr) {
            EXPECT_EQ(p->Buffer[p->Length / 2], u'\0') << "pool copies carry a terminator";
        }
    }
};

struct RecordingNames : driver::NameCommands {
    std::optional<driver::ResolveNameRequest> request;
    std::u16string name;
    NTSTATUS ResolveName(const driver::ResolveNameRequest& r, std::uint32_t* replyLength) override {
        request = r;
        name.assign(r.name->Buffer, r.name->Length / 2);
        *replyLength = 8;
        return STATUS_SUCCESS;
    }
};

struct RecordingFiles : driver::FileCommands {
    std::optional<std::uint32_t> command;
    std::size_t messageLength = 0, outputLength = 0;
    NTSTATUS Execute(std::uint32_t c, std::span<const std::uint8_t> m, std::span<std::uint8_t> o,
                     std::uint32_t*) override {
        command = c;
        messageLength = m.size();
        outputLength = o.size();
        return STATUS_SUCCESS;
    }
};

class CommandDispatcherTest : public ::sim::KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        driver_.statistics.Reset();
        driver_.rules = &rules_;
        driver_.names = &names_;
        driver_.files = &files_;
    }

    NTSTATUS Dispatch(const std::vector<std::uint8_t>& message, std::uint32_t outputLength = 0,
                      std::vector<std::uint8_t>* output = nullptr) {
        std::vector<std::uint8_t> local(outputLength);
        if (output == nullptr) {
            output = &local;
        }
        output->resize(std::max<std::size_t>(output->size(), outputLength));
        std::uint32_t reply = 0;
        return driver::DispatchControlMessage(driver_, message.data(),
                                              static_cast<std::uint32_t>(message.size()),
                                              outputLength ? output->data() : nullptr,
                                              outputLength, &reply);
    }

    driver::DriverState driver_;
    RecordingRules rules_;
    RecordingNames names_;
    RecordingFiles files_;
};

std::vector<std::uint8_t> Handle(std::uint32_t command, std::uint32_t handle, std::size_t extra) {
    return MessageBuilder(command).U32(handle).Zeros(extra).Build();
}

TEST_F(CommandDispatcherTest, SizeChecks) {
    const wire::Guid id{1, 2, 3, {4}};
    auto pattern = vesk::testing::AddRuleMessage(id, 7, 0, 0, 0, U16("*.log"));
    auto patternShort = pattern;
    patternShort.resize(patternShort.size() - 1);
    auto patternLong = pattern;
    patternLong.push_back(0);
    auto write = MessageBuilder(wire::VeskCmdIoWrite).U32(5).U32(0).I64(0).U32(3).Zeros(3).Build();
    auto writeShort = write;
    writeShort.resize(writeShort.size() - 1);
    auto security = MessageBuilder(wire::VeskCmdIoSetSecurity).U32(5).U32(20).U32(4).Zeros(40).Build();

    struct Case {
        const char* what;
        std::vector<std::uint8_t> message;
        std::uint32_t output;
        NTSTATUS expected;
    };
    const Case cases[] = {
        {"three bytes", {6, 0, 0}, 88, STATUS_INVALID_BUFFER_SIZE},
        {"command 7", MessageBuilder(7).Build(), 0, STATUS_INVALID_DEVICE_REQUEST},
        {"command 126", MessageBuilder(126).Build(), 0, STATUS_INVALID_DEVICE_REQUEST},
        {"command 150", MessageBuilder(150).Build(), 0, STATUS_INVALID_DEVICE_REQUEST},
        {"statistics, 88-byte output", MessageBuilder(6).Build(), 88, STATUS_SUCCESS},
        {"statistics, 87-byte output", MessageBuilder(6).Build(), 87, STATUS_INVALID_BUFFER_SIZE},
        {"statistics, 89-byte output", MessageBuilder(6).Build(), 89, STATUS_INVALID_BUFFER_SIZE},
        {"statistics with a body", MessageBuilder(6).U32(0).Build(), 88, STATUS_INVALID_BUFFER_SIZE},
        {"add rule", pattern, 0, STATUS_SUCCESS},
        {"add rule, pattern one byte short", patternShort, 0, STATUS_INVALID_BUFFER_SIZE},
        {"add rule, pattern one byte long", patternLong, 0, STATUS_INVALID_BUFFER_SIZE},
        {"add rule, body shorter than its fixed part", MessageBuilder(2).Zeros(20).Build(), 0,
         STATUS_INVALID_BUFFER_SIZE},
        {"clear rules, 4-byte body", MessageBuilder(4).U32(3).Build(), 0, STATUS_SUCCESS},
        {"clear rules, 8-byte body", MessageBuilder(4).U32(3).U32(0).Build(), 0,
         STATUS_INVALID_BUFFER_SIZE},
        {"delete rule without pattern", MessageBuilder(3).U32(0).U32(2).U16(0).Build(), 0,
         STATUS_SUCCESS},
        {"activate with any body", MessageBuilder(0).Zeros(13).Build(), 0, STATUS_SUCCESS},
        {"deactivate with any body", MessageBuilder(1).Zeros(3).Build(), 0, STATUS_SUCCESS},
        {"io close", Handle(129, 5, 0), 0, STATUS_SUCCESS},
        {"io close, handle 0", Handle(129, 0, 0), 0, STATUS_INVALID_PARAMETER},
        {"io close, long body", Handle(129, 5, 1), 0, STATUS_INVALID_BUFFER_SIZE},
        {"io set size, handle 0", Handle(136, 0, 8), 0, STATUS_INVALID_PARAMETER},
        {"io get size, 24-byte output", Handle(145, 5, 0), 24, STATUS_SUCCESS},
        {"io get size, 23-byte output", Handle(145, 5, 0), 23, STATUS_INVALID_BUFFER_SIZE},
        {"io get information, 89 bytes", Handle(146, 5, 0), 89, STATUS_SUCCESS},
        {"io get information, 88 bytes", Handle(146, 5, 0), 88, STATUS_INVALID_BUFFER_SIZE},
        {"io get object id, 64 bytes", Handle(144, 5, 4), 64, STATUS_SUCCESS},
        {"io open by id, 8 bytes", MessageBuilder(128).Zeros(28).Build(), 8, STATUS_SUCCESS},
        {"io open by id, no output", MessageBuilder(128).Zeros(28).Build(), 0,
         STATUS_INVALID_BUFFER_SIZE},
        {"io create", MessageBuilder(127).Zeros(24).CountedText(U16("C:\\a")).Build(), 8,
         STATUS_SUCCESS},
        {"io read of 16 into 16", MessageBuilder(130).U32(5).U32(0).I64(0).U32(16).Build(), 16,
         STATUS_SUCCESS},
        {"io read of 16 into 15", MessageBuilder(130).U32(5).U32(0).I64(0).U32(16).Build(), 15,
         STATUS_INVALID_BUFFER_SIZE},
        {"io read of 0 bytes", MessageBuilder(130).U32(5).U32(0).I64(0).U32(0).Build(), 16,
         STATUS_INVALID_BUFFER_SIZE},
        {"io write of 3", write, 4, STATUS_SUCCESS},
        {"io write, data one byte short", writeShort, 4, STATUS_INVALID_BUFFER_SIZE},
        {"io write, 3-byte output", write, 3, STATUS_INVALID_BUFFER_SIZE},
        {"io set security", security, 0, STATUS_SUCCESS},
        {"io set security, trailer missing",
         MessageBuilder(149).U32(5).U32(20).U32(4).Zeros(20).Build(), 0, STATUS_INVALID_BUFFER_SIZE},
        {"io set security, length overflowing",
         MessageBuilder(149).U32(5).U32(0xFFFFFFF0).U32(4).Zeros(20).Build(), 0,
         STATUS_INVALID_BUFFER_SIZE},
        {"io set object id", Handle(141, 5, 64), 0, STATUS_SUCCESS},
        {"io set object id, short", Handle(141, 5, 63), 0, STATUS_INVALID_BUFFER_SIZE},
        {"io symbolic link", MessageBuilder(137).U32(5).U32(1).U32(0).CountedText(U16("t")).Build(),
         0, STATUS_SUCCESS},
        {"io set reparse", MessageBuilder(139).U32(5).U32(7).Zeros(16).U16(2).Zeros(2).Build(), 0,
         STATUS_SUCCESS},
        {"io set reparse, data missing", MessageBuilder(139).U32(5).U32(7).Zeros(16).U16(2).Build(),
         0, STATUS_INVALID_BUFFER_SIZE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Dispatch(c.message, c.output), c.expected);
    }
}

TEST_F(CommandDispatcherTest, NoInputBuffer) {
    std::uint32_t reply = 0;
    EXPECT_EQ(driver::DispatchControlMessage(driver_, nullptr, 0, nullptr, 0, &reply),
              STATUS_INVALID_USER_BUFFER);
}

TEST_F(CommandDispatcherTest, FailedSizeChecksChangeNothing) {
    const wire::Guid id{9, 9, 9, {9}};
    auto message = vesk::testing::AddRuleMessage(id, 1, 1, 2, 4, U16("a"));
    message.push_back(0);
    EXPECT_EQ(Dispatch(message), STATUS_INVALID_BUFFER_SIZE);
    EXPECT_FALSE(rules_.added);
    EXPECT_EQ(Dispatch(MessageBuilder(4).U32(3).U32(0).Build()), STATUS_INVALID_BUFFER_SIZE);
    EXPECT_FALSE(rules_.clearStore);
    EXPECT_EQ(Dispatch(Handle(145, 5, 0), 23), STATUS_INVALID_BUFFER_SIZE);
    EXPECT_FALSE(files_.command);
}

TEST_F(CommandDispatcherTest, RuleCommandsArriveDecoded) {
    const wire::Guid id{0xAABBCCDD, 0x1122, 0x3344, {1, 2, 3, 4, 5, 6, 7, 8}};
    ASSERT_EQ(Dispatch(vesk::testing::AddRuleMessage(id, 0xFFFFFFFF, 3, 2, 0x5, U16("C:\\DATA\\*"))),
              STATUS_SUCCESS);
    ASSERT_TRUE(rules_.added);
    EXPECT_EQ(std::memcmp(&rules_.added->ruleId, &id, 16), 0);
    EXPECT_EQ(rules_.added->processId, 0xFFFFFFFFu);
    EXPECT_EQ(rules_.added->flags, 3u);
    EXPECT_EQ(rules_.added->category, 2u);
    EXPECT_EQ(rules_.added->operations, 0x5u);
    EXPECT_EQ(rules_.pattern, U16("C:\\DATA\\*"));

    ASSERT_EQ(Dispatch(vesk::testing::AddRuleMessage(id, 1, 0, 0, 0, u"")), STATUS_SUCCESS);
    EXPECT_FALSE(rules_.hadPattern) << "a 34-byte body adds a rule without a pattern";

    ASSERT_EQ(Dispatch(MessageBuilder(3).U32(0xFFFF).U32(3).CountedText(U16("*.tmp")).Build()),
              STATUS_SUCCESS);
    EXPECT_EQ(rules_.deleteStore, 3u);
    EXPECT_EQ(rules_.pattern, U16("*.tmp"));

    ASSERT_EQ(Dispatch(MessageBuilder(4).U32(1).Build()), STATUS_SUCCESS);
    EXPECT_EQ(rules_.clearStore, 1u);
}

TEST_F(CommandDispatcherTest, PatternCopyWithoutMemoryFails) {
    const wire::Guid id{};
    FailNthPoolAllocation(driver::kTagString, 1);
    EXPECT_EQ(Dispatch(vesk::testing::AddRuleMessage(id, 1, 0, 0, 0, U16("x"))),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(rules_.added);
}

TEST_F(CommandDispatcherTest, ResolveNameChecksTheOfferedCapacities) {
    const auto message = MessageBuilder(5)
                             .U32(3)
                             .U32(1)
                             .U32(0x1234)
                             .U32(0)
                             .CountedText(U16("\\Device\\HarddiskVolume2\\x"))
                             .Build();
    // Capacities 10 and 20 at offsets 4 and 6: the output must be 8 + 30 bytes.
    std::vector<std::uint8_t> output(38);
    output[4] = 10;
    output[6] = 20;
    EXPECT_EQ(Dispatch(message, 38, &output), STATUS_SUCCESS);
    ASSERT_TRUE(names_.request);
    EXPECT_EQ(names_.request->flags, 3u);
    EXPECT_EQ(names_.request->logonId.LowPart, 0x1234u);
    EXPECT_EQ(names_.request->reply.size(), 38u);
    EXPECT_EQ(names_.name, U16("\\Device\\HarddiskVolume2\\x"));

    names_.request.reset();
    EXPECT_EQ(Dispatch(message, 37, &output), STATUS_INVALID_BUFFER_SIZE);
    EXPECT_EQ(Dispatch(message, 39, &output), STATUS_INVALID_BUFFER_SIZE);
    std::vector<std::uint8_t> zeros(8);
    EXPECT_EQ(Dispatch(message, 8, &zeros), STATUS_SUCCESS) << "capacities 0 and 0 with 8 bytes";
    EXPECT_EQ(Dispatch(message, 7, &zeros), STATUS_INVALID_BUFFER_SIZE);
}

TEST_F(CommandDispatcherTest, IoCommandsReachTheFileServicesWhole) {
    ASSERT_EQ(Dispatch(Handle(146, 5, 0), 89), STATUS_SUCCESS);
    EXPECT_EQ(files_.command, 146u);
    EXPECT_EQ(files_.messageLength, 8u);
    EXPECT_EQ(files_.outputLength, 89u);
}

TEST_F(CommandDispatcherTest, MissingComponentsAnswerNotImplemented) {
    driver_.rules = nullptr;
    driver_.names = nullptr;
    driver_.files = nullptr;
    EXPECT_EQ(Dispatch(MessageBuilder(4).U32(1).Build()), STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(Dispatch(Handle(148, 5, 0)), STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(Dispatch(MessageBuilder(0).Build()), STATUS_SUCCESS) << "activation needs no rules";
}

TEST_F(CommandDispatcherTest, ActivateResolvesRulesThenResetsStatisticsAndStartsCapture) {
    driver_.statistics.CountOperation(wire::VeskOpCreate, STATUS_SUCCESS, 0);
    sim::SimClock::AdvanceSeconds(5);
    ASSERT_EQ(Dispatch(MessageBuilder(0).Build()), STATUS_SUCCESS);
    EXPECT_EQ(rules_.resolves, 1);
    EXPECT_TRUE(driver_.connection.IsActive());
    const auto stats = driver_.statistics.Read();
    EXPECT_EQ(stats.CreatesSucceeded, 0u);
    EXPECT_EQ(stats.StartTime, static_cast<std::uint64_t>(sim::SimClock::Now()));

    std::vector<std::uint8_t> reply(88);
    ASSERT_EQ(Dispatch(MessageBuilder(6).Build(), 88, &reply), STATUS_SUCCESS);
    std::uint64_t start = 0;
    std::memcpy(&start, reply.data() + 64, 8);
    EXPECT_EQ(start, stats.StartTime);
}

TEST_F(CommandDispatcherTest, ActivateFailsWhenRulesCannotBeResolved) {
    rules_.resolveStatus = STATUS_INSUFFICIENT_RESOURCES;
    driver_.statistics.CountOperation(wire::VeskOpCreate, STATUS_SUCCESS, 0);
    EXPECT_EQ(Dispatch(MessageBuilder(0).Build()), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(driver_.connection.IsActive());
    EXPECT_EQ(driver_.statistics.Read().CreatesSucceeded, 1u) << "nothing else happened";
}

TEST_F(CommandDispatcherTest, DeactivateClearsCaptureButKeepsStatistics) {
    ASSERT_EQ(Dispatch(MessageBuilder(0).Build()), STATUS_SUCCESS);
    driver_.statistics.CountOperation(wire::VeskOpRead, STATUS_SUCCESS, 10);
    ASSERT_EQ(Dispatch(MessageBuilder(1).Build()), STATUS_SUCCESS);
    EXPECT_FALSE(driver_.connection.IsActive());
    EXPECT_EQ(driver_.connection.Options(), 0u);
    EXPECT_EQ(driver_.connection.Categories(), 0u);
    EXPECT_EQ(driver_.statistics.Read().BytesRead, 10u);
    // A later activation does not bring the categories back.
    ASSERT_EQ(Dispatch(MessageBuilder(0).Build()), STATUS_SUCCESS);
    EXPECT_EQ(driver_.connection.Categories(), 0u);
}

}  // namespace
