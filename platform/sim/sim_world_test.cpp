#include "sim_world.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kernel_test.h"
#include "platform/kernel/sid.h"

namespace {

using namespace kernel;

class SimWorldTest : public sim::KernelTest {};

TEST_F(SimWorldTest, LookupReferencesALivingThreadOnly) {
    Thread* found = nullptr;
    ASSERT_EQ(LookupThreadByThreadId(kTestThreadId, &found), STATUS_SUCCESS);
    EXPECT_EQ(found, testThread_);
    EXPECT_EQ(sim::World::ExtraReferences(testThread_), 1);
    DereferenceObject(found);
    sim::World::ExitThread(testThread_);
    EXPECT_EQ(LookupThreadByThreadId(kTestThreadId, &found), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(LookupThreadByThreadId(0, &found), STATUS_INVALID_PARAMETER);
}

TEST_F(SimWorldTest, CurrentThreadIdentity) {
    Thread* thread = CurrentThread();
    EXPECT_EQ(ThreadId(thread), kTestThreadId);
    EXPECT_EQ(ProcessId(ThreadToProcess(thread)), kTestProcessId);
    EXPECT_EQ(ProcessSessionId(ThreadToProcess(thread)), kTestSessionId);
    EXPECT_FALSE(IsSystemThread(thread));
}

TEST_F(SimWorldTest, SystemThreadRunsInTheSystemProcessAndCanBeWaitedFor) {
    struct Seen {
        std::uint32_t process = 0;
        bool system = false;
    } seen;
    Thread* thread = nullptr;
    ASSERT_EQ(CreateSystemThread(
                  [](void* context) {
                      auto* s = static_cast<Seen*>(context);
                      s->process = ProcessId(ThreadToProcess(CurrentThread()));
                      s->system = IsSystemThread(CurrentThread());
                  },
                  &seen, &thread),
              STATUS_SUCCESS);
    WaitForThread(thread);
    DereferenceObject(thread);
    EXPECT_EQ(seen.process, sim::World::kSystemProcessId);
    EXPECT_TRUE(seen.system);
}

TEST_F(SimWorldTest, TokenQueriesAnswerAndCanBeMadeToFail) {
    Token* token = ReferencePrimaryToken(testProcess_);
    ASSERT_EQ(token, testToken_);
    Luid luid{};
    EXPECT_EQ(QueryAuthenticationIdToken(token, &luid), STATUS_SUCCESS);
    EXPECT_EQ(luid.LowPart, kTestLogonId.LowPart);
    TokenUser* user = nullptr;
    ASSERT_EQ(QueryTokenUser(token, &user), STATUS_SUCCESS);
    EXPECT_EQ(SidToString(user->Sid), kTestUserSid);
    FreePool(user, kTokenUserTag);

    sim::World::FailAuthenticationIdQuery(token, STATUS_ACCESS_DENIED);
    EXPECT_EQ(QueryAuthenticationIdToken(token, &luid), STATUS_ACCESS_DENIED);
    sim::World::FailUserQuery(token, STATUS_NO_TOKEN);
    EXPECT_EQ(QueryTokenUser(token, &user), STATUS_NO_TOKEN);
    DereferencePrimaryToken(token);
}

TEST_F(SimWorldTest, ImpersonationTokenIsReportedWithItsLevel) {
    Token* client = sim::World::CreateImpersonationToken({"S-1-5-21-9-9-9-500", {7, 0}});
    ImpersonationLevel level{};
    EXPECT_EQ(ReferenceImpersonationToken(testThread_, &level), nullptr);
    sim::World::Impersonate(testThread_, client, ImpersonationLevel::Identification);
    Token* token = ReferenceImpersonationToken(testThread_, &level);
    EXPECT_EQ(token, client);
    EXPECT_EQ(level, ImpersonationLevel::Identification);
    DereferenceImpersonationToken(token);
    EXPECT_EQ(sim::World::ExtraReferences(client), 0);
}

}  // namespace
