#include "notification_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>

#include "core/pool_tags.h"
#include "kernel_test.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/sid.h"
#include "testing/wire_reader.h"

namespace {

using namespace kernel;
using namespace vesk::driver;
using vesk::testing::ParseNotification;
using vesk::testing::U16;
namespace wire = vesk::wire;

class NotificationBuilderTest : public sim::KernelTest {
protected:
    std::span<const std::uint8_t> Bytes(const BuiltMessage& built) {
        return {reinterpret_cast<const std::uint8_t*>(built.message), built.totalLength};
    }
};

TEST_F(NotificationBuilderTest, HeaderNameSidAndPayloadLieWhereTheReaderLooks) {
    std::u16string text = U16("\\Device\\HarddiskVolume1\\a.txt");
    UnicodeString name{static_cast<std::uint16_t>(text.size() * 2),
                       static_cast<std::uint16_t>(text.size() * 2), text.data()};
    MessageParameters p;
    p.actingThread = testThread_;
    p.volumeId = 0x11223344;
    p.fileObjectId = 0x55667788;
    p.name = &name;
    p.volumePrefixLength = 23;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpClose;
    p.status = 0xC0000022;
    p.payloadLength = wire::kClosePayloadLength;
    BuiltMessage built;
    ASSERT_EQ(BuildMessage(p, &built), STATUS_SUCCESS);
    const std::uint32_t kind = wire::VeskCloseCleanup;
    std::memcpy(built.payload, &kind, 4);

    const auto parsed = ParseNotification(Bytes(built));
    ASSERT_TRUE(parsed);
    const auto& h = parsed->header;
    EXPECT_EQ(h.TotalLength, 0x42u + text.size() * 2 + 28 + 4);
    EXPECT_EQ(h.Impersonated, 0u);
    EXPECT_EQ(h.Category, 2u);
    EXPECT_EQ(h.Operation, wire::VeskOpClose);
    EXPECT_EQ(h.Status, 0xC0000022u);
    EXPECT_EQ(h.ThreadId, kTestThreadId);
    EXPECT_EQ(h.ProcessId, kTestProcessId);
    EXPECT_EQ(h.SessionId, kTestSessionId);
    EXPECT_EQ(h.AuthenticationIdLow, kTestLogonId.LowPart);
    EXPECT_EQ(h.VolumeId, 0x11223344u);
    EXPECT_EQ(h.FileObjectId, 0x55667788u);
    EXPECT_EQ(h.VolumePrefixLength, 23);
    EXPECT_EQ(parsed->name, text);
    EXPECT_EQ(SidToString(parsed->sid.data()), kTestUserSid);
    EXPECT_EQ(parsed->payloadOffset, 0x42u + text.size() * 2 + 28);
    EXPECT_EQ(parsed->payload, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    FreeMessage(built.message);
}

TEST_F(NotificationBuilderTest, WithoutANameTheTerminatorStillSitsAt0x40) {
    MessageParameters p;
    p.actingThread = testThread_;
    p.category = wire::VeskCategoryProcess;
    p.operation = wire::VeskOpProcessExit;
    p.payloadLength = 8;
    BuiltMessage built;
    ASSERT_EQ(BuildMessage(p, &built), STATUS_SUCCESS);
    std::memset(built.payload, 0, 8);
    const auto bytes = Bytes(built);
    EXPECT_EQ(built.message->NameLength, 0);
    EXPECT_EQ(bytes[0x40], 0);
    EXPECT_EQ(bytes[0x41], 0);
    EXPECT_EQ(bytes[0x42], 1) << "the SID's revision byte follows the terminator";
    EXPECT_EQ(built.totalLength, 0x42u + 28 + 8);
    FreeMessage(built.message);
}

TEST_F(NotificationBuilderTest, OneSubAuthoritySidPutsThePayloadAtAnUnalignedOffset) {
    Token* world = sim::World::CreatePrimaryToken({"S-1-1-0", {5, 0}});
    Thread* thread = sim::World::CreateThread(sim::World::CreateProcess(300, 2, world));
    std::u16string text = U16("\\Device\\X\\ab");  // 12 characters: 24 bytes
    UnicodeString name{24, 24, text.data()};
    MessageParameters p;
    p.actingThread = thread;
    p.name = &name;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpSize;
    p.payloadLength = 8;
    BuiltMessage built;
    ASSERT_EQ(BuildMessage(p, &built), STATUS_SUCCESS);
    const std::uint32_t payloadOffset = 0x42 + 24 + 12;
    EXPECT_EQ(built.payload - reinterpret_cast<std::uint8_t*>(built.message), payloadOffset);
    EXPECT_NE(payloadOffset % 4, 0u);
    const std::int64_t size = 0x123456789;
    std::memcpy(built.payload, &size, 8);
    const auto parsed = ParseNotification(Bytes(built));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->sid.size(), 12u);
    std::int64_t read = 0;
    std::memcpy(&read, parsed->payload.data(), 8);
    EXPECT_EQ(read, size);
    FreeMessage(built.message);
}

TEST_F(NotificationBuilderTest, ZeroPayloadClassesEndWithTheSid) {
    for (std::uint32_t op : {wire::VeskOpDetach, wire::VeskOpDelete, wire::VeskOpSparse,
                             wire::VeskOpFlush, wire::VeskOpUnmount}) {
        std::u16string text = U16("\\Device\\V");
        UnicodeString name{18, 18, text.data()};
        MessageParameters p;
        p.actingThread = testThread_;
        p.name = &name;
        p.category = wire::VeskCategoryFileSystem;
        p.operation = op;
        BuiltMessage built;
        ASSERT_EQ(BuildMessage(p, &built), STATUS_SUCCESS);
        EXPECT_EQ(built.totalLength, 0x42u + 18 + 28) << op;
        EXPECT_EQ(built.message->PayloadLength, 0u);
        EXPECT_TRUE(ParseNotification(Bytes(built)));
        FreeMessage(built.message);
    }
}

TEST_F(NotificationBuilderTest, ImpersonatingThreadIsFlagged) {
    Token* client = sim::World::CreateImpersonationToken({"S-1-5-21-1-1-1-500", {0x99, 0}});
    sim::World::Impersonate(testThread_, client, ImpersonationLevel::Impersonation);
    MessageParameters p;
    p.actingThread = testThread_;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpFlush;
    BuiltMessage built;
    ASSERT_EQ(BuildMessage(p, &built), STATUS_SUCCESS);
    EXPECT_EQ(built.message->Impersonated, 1u);
    EXPECT_EQ(built.message->AuthenticationIdLow, 0x99u);
    FreeMessage(built.message);
}

TEST_F(NotificationBuilderTest, FailuresBuildNothing) {
    MessageParameters p;
    p.actingThread = testThread_;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpFlush;
    BuiltMessage built;

    FailNthPoolAllocation(kTagMessage, 1);
    EXPECT_EQ(BuildMessage(p, &built), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(built.message, nullptr);

    p.payloadLength = 0xFFFFFFF0;  // the parts would not fit a 32-bit length
    EXPECT_EQ(BuildMessage(p, &built), STATUS_INTEGER_OVERFLOW);

    p.payloadLength = 0;
    sim::World::FailUserQuery(testToken_, STATUS_ACCESS_DENIED);
    EXPECT_EQ(BuildMessage(p, &built), STATUS_ACCESS_DENIED);
    EXPECT_EQ(QueryPoolTag(kTagMessage).allocations, 0u);
}

}  // namespace
