#include "requestor_identity.h"

#include <gtest/gtest.h>

#include "core/pool_tags.h"
#include "kernel_test.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/sid.h"

namespace {

using namespace kernel;
using namespace vesk::driver;

class RequestorIdentityTest : public sim::KernelTest {
public:
    using KernelTest::testThread_;
    using KernelTest::testToken_;

protected:
    std::string SidText(const ThreadIdentity& identity) { return SidToString(identity.sid); }
};

TEST_F(RequestorIdentityTest, PrimaryTokenOfTheThreadsProcess) {
    ThreadIdentity identity;
    ASSERT_EQ(QueryThreadIdentity(testThread_, &identity), STATUS_SUCCESS);
    EXPECT_EQ(SidText(identity), kTestUserSid);
    EXPECT_EQ(identity.sidLength, 28u);
    EXPECT_EQ(identity.authenticationId.LowPart, kTestLogonId.LowPart);
    EXPECT_FALSE(identity.impersonated);
    FreeThreadIdentity(&identity);
}

TEST_F(RequestorIdentityTest, ImpersonationAtIdentificationLevelReportsTheClient) {
    Token* client = sim::World::CreateImpersonationToken({"S-1-5-21-7-7-7-1104", {0x777, 1}});
    sim::World::Impersonate(testThread_, client, ImpersonationLevel::Identification);
    ThreadIdentity identity;
    ASSERT_EQ(QueryThreadIdentity(testThread_, &identity), STATUS_SUCCESS);
    EXPECT_EQ(SidText(identity), "S-1-5-21-7-7-7-1104");
    EXPECT_EQ(identity.authenticationId.LowPart, 0x777u);
    EXPECT_EQ(identity.authenticationId.HighPart, 1);
    EXPECT_TRUE(identity.impersonated);
    FreeThreadIdentity(&identity);
}

TEST_F(RequestorIdentityTest, SystemThreadWithoutImpersonationIsTheSystemAccount) {
    Thread* system = sim::World::CreateThread(sim::World::SystemProcess());
    ThreadIdentity identity;
    ASSERT_EQ(QueryThreadIdentity(system, &identity), STATUS_SUCCESS);
    EXPECT_EQ(SidText(identity), "S-1-5-18");
    EXPECT_EQ(identity.authenticationId.LowPart, 0x3E7u);
    EXPECT_FALSE(identity.impersonated);
    FreeThreadIdentity(&identity);
}

// Every failure returns its status and leaves nothing allocated or referenced (the fixture checks).
TEST_F(RequestorIdentityTest, EveryFailurePathReleasesWhatItTook) {
    struct Case {
        const char* what;
        void (*arrange)(RequestorIdentityTest&, Thread*&);
        NTSTATUS expected;
    };
    const Case cases[] = {
        {"no thread", [](RequestorIdentityTest&, Thread*& t) { t = nullptr; },
         STATUS_INVALID_PARAMETER},
        {"process without a primary token",
         [](RequestorIdentityTest&, Thread*& t) {
             t = sim::World::CreateThread(sim::World::CreateProcess(77, 1, nullptr));
         },
         STATUS_NO_TOKEN},
        {"logon id query fails",
         [](RequestorIdentityTest& f, Thread*&) {
             sim::World::FailAuthenticationIdQuery(f.testToken_, STATUS_ACCESS_DENIED);
         },
         STATUS_ACCESS_DENIED},
        {"user query fails",
         [](RequestorIdentityTest& f, Thread*&) {
             sim::World::FailUserQuery(f.testToken_, STATUS_UNSUCCESSFUL);
         },
         STATUS_UNSUCCESSFUL},
        {"user information cannot be allocated",
         [](RequestorIdentityTest&, Thread*&) { FailNthPoolAllocation(kTokenUserTag, 1); },
         STATUS_INSUFFICIENT_RESOURCES},
        {"SID copy cannot be allocated",
         [](RequestorIdentityTest&, Thread*&) { FailNthPoolAllocation(kTagSid, 1); },
         STATUS_INSUFFICIENT_RESOURCES},
        {"SID measures as zero bytes",
         [](RequestorIdentityTest& f, Thread*&) { sim::World::EmptyUserSid(f.testToken_); },
         STATUS_INSUFFICIENT_RESOURCES},
        {"impersonation token's query fails",
         [](RequestorIdentityTest& f, Thread*&) {
             Token* client = sim::World::CreateImpersonationToken({"S-1-1-0", {1, 0}});
             sim::World::FailAuthenticationIdQuery(client, STATUS_ACCESS_DENIED);
             sim::World::Impersonate(f.testThread_, client, ImpersonationLevel::Impersonation);
         },
         STATUS_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        Thread* thread = testThread_;
        c.arrange(*this, thread);
        ThreadIdentity identity;
        EXPECT_EQ(QueryThreadIdentity(thread, &identity), c.expected);
        EXPECT_EQ(identity.sid, nullptr);
        EXPECT_EQ(DescribeOutstandingPool(), "");
        EXPECT_EQ(sim::World::DescribeLeakedReferences(), "");
    }
}

TEST_F(RequestorIdentityTest, LogonIdAlone) {
    Luid luid{};
    EXPECT_EQ(QueryThreadLogonId(testThread_, &luid), STATUS_SUCCESS);
    EXPECT_EQ(luid.LowPart, kTestLogonId.LowPart);
    sim::World::FailAuthenticationIdQuery(testToken_, STATUS_ACCESS_DENIED);
    EXPECT_EQ(QueryThreadLogonId(testThread_, &luid), STATUS_ACCESS_DENIED);
    EXPECT_EQ(QueryThreadLogonId(nullptr, &luid), STATUS_INVALID_PARAMETER);
}

}  // namespace
