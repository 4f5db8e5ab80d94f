// The /proc readers against fixed texts, and the identity the kernel face builds from them.
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "linux_objects.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sid.h"
#include "platform/kernel/token.h"
#include "proc_readers.h"

namespace linux_kernel {
namespace {

constexpr const char* kStatus =
    "Name:\tcat\nUmask:\t0022\nState:\tR (running)\nTgid:\t4242\nNgid:\t0\nPid:\t4243\n"
    "PPid:\t17\nTracerPid:\t0\nUid:\t1000\t1001\t1002\t1003\nGid:\t100\t101\t102\t103\n"
    "FDSize:\t64\nGroups:\t4 24 27\n";

TEST(ProcReaders, TaskStatusFields) {
    const auto status = ParseTaskStatus(kStatus);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->threadGroup, 4242u);
    EXPECT_EQ(status->parent, 17u);
    EXPECT_EQ(status->realUid, 1000u);
    EXPECT_EQ(status->effectiveUid, 1001u);
    EXPECT_EQ(status->fsUid, 1003u) << "the fourth Uid field";
    EXPECT_EQ(status->realGid, 100u);
    EXPECT_EQ(status->fsGid, 103u);
}

TEST(ProcReaders, MalformedTextsAreRefused) {
    const char* cases[] = {
        "",
        "Tgid:\t1\nPPid:\t0\nUid:\t0\t0\t0\t0\n",             // no Gid line
        "Tgid:\tx\nPPid:\t0\nUid:\t0\t0\t0\t0\nGid:\t0\t0\t0\t0\n",  // not a number
        "Tgid:\t1\nPPid:\t0\nUid:\t0\t0\nGid:\t0\t0\t0\t0\n",    // too few uids
        "NotTgid:\t1\nPPid:\t0\nUid:\t0\t0\t0\t0\nGid:\t0\t0\t0\t0\n",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(ParseTaskStatus(text)) << text;
    }
}

TEST(ProcReaders, StatSessionCountsFieldsAfterTheCommand) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> session;
    };
    const Case cases[] = {
        {"1234 (bash) S 1 1234 1234 34816 1234 4194560", 1234},
        {"77 (a) b (c) d) R 5 6 99 0", 99},  // a command with spaces and parentheses
        {"77 (x) R 5 6", std::nullopt},       // cut short
        {"no command here", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseStatSession(c.text), c.session) << c.text;
    }
}

TEST(ProcReaders, LogonIdIsTheAuditSessionUnlessUnset) {
    EXPECT_EQ(ParseSessionId("12\n"), 12u);
    EXPECT_EQ(ParseSessionId("4294967295"), kUnsetAuditSession);
    EXPECT_FALSE(ParseSessionId("none"));
    EXPECT_EQ(LogonIdOf(12u, 900), 12u);
    EXPECT_EQ(LogonIdOf(kUnsetAuditSession, 900), 900u);
    EXPECT_EQ(LogonIdOf(std::nullopt, 900), 900u);
}

TEST(ProcReaders, TheLiveFilesOfThisProcess) {
    const auto status = ReadTaskStatus(static_cast<std::uint32_t>(getpid()));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->threadGroup, static_cast<std::uint32_t>(getpid()));
    EXPECT_EQ(status->realUid, getuid());
    EXPECT_EQ(ReadSession(static_cast<std::uint32_t>(getpid())),
              static_cast<std::uint32_t>(getsid(0)));
    EXPECT_FALSE(ReadImagePath(static_cast<std::uint32_t>(getpid())).empty());
    EXPECT_FALSE(ReadTaskStatus(0x7FFFFFF0u)) << "no such task";
}

std::string SidOf(kernel::Token* token) {
    kernel::TokenUser* user = nullptr;
    EXPECT_EQ(kernel::QueryTokenUser(token, &user), kernel::STATUS_SUCCESS);
    const std::string text = kernel::SidToString(user->Sid);
    kernel::FreePool(user, kernel::kTokenUserTag);
    return text;
}

std::uint32_t Tid() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

// Looking a thread up by its id and meeting it as a requestor give the same object, as the
// driver's pointer comparisons (its client's excluded threads) need.
TEST(RequestorIdentity, ALookedUpThreadIsTheRequestingThread) {
    std::uint32_t other = 0;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread worker([&] {
        std::unique_lock lock(m);
        other = Tid();
        cv.notify_all();
        cv.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return other != 0; });
    }
    kernel::Thread* looked = nullptr;
    ASSERT_EQ(kernel::LookupThreadByThreadId(other, &looked), kernel::STATUS_SUCCESS);
    {
        RequestorScope scope({other, getuid(), getgid()});
        EXPECT_EQ(kernel::CurrentThread(), looked);
        EXPECT_EQ(kernel::ThreadId(kernel::CurrentThread()), other);
        EXPECT_EQ(kernel::ProcessId(kernel::ThreadToProcess(looked)),
                  static_cast<std::uint32_t>(getpid()));
    }
    kernel::DereferenceObject(looked);
    {
        std::lock_guard lock(m);
        done = true;
        cv.notify_all();
    }
    worker.join();
}

TEST(RequestorIdentity, AnotherFileSystemUidIsImpersonation) {
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    const auto id = static_cast<std::uint32_t>(child);
    {
        RequestorScope scope({id, getuid() + 7, getgid()});
        kernel::Thread* thread = kernel::CurrentThread();
        EXPECT_FALSE(kernel::IsSystemThread(thread));
        kernel::ImpersonationLevel level{};
        kernel::Token* token = kernel::ReferenceImpersonationToken(thread, &level);
        ASSERT_NE(token, nullptr);
        EXPECT_EQ(SidOf(token), "S-1-22-1-" + std::to_string(getuid() + 7));
        kernel::DereferenceImpersonationToken(token);
        kernel::Token* primary = kernel::ReferencePrimaryToken(kernel::ThreadToProcess(thread));
        EXPECT_EQ(SidOf(primary), "S-1-22-1-" + std::to_string(getuid()));
        kernel::DereferencePrimaryToken(primary);
    }
    {
        RequestorScope scope({id, getuid(), getgid()});
        EXPECT_EQ(kernel::ReferenceImpersonationToken(kernel::CurrentThread(), nullptr), nullptr)
            << "its own uid: no impersonation";
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// A request whose thread is gone before /proc was read is still attributed: its TID, a process
// of that id, and the user the request named.
TEST(RequestorIdentity, AGoneThreadKeepsWhatTheRequestSaid) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const auto id = static_cast<std::uint32_t>(child);
    (void)SystemProcess();  // exists from its first use on, for ever
    const std::size_t before = InternedObjects();
    {
        RequestorScope scope({id, 4321, 4321});
        kernel::Thread* thread = kernel::CurrentThread();
        EXPECT_EQ(kernel::ThreadId(thread), id);
        EXPECT_EQ(kernel::ProcessId(kernel::ThreadToProcess(thread)), id);
        EXPECT_EQ(kernel::ReferenceImpersonationToken(thread, nullptr), nullptr);
        kernel::Token* primary = kernel::ReferencePrimaryToken(kernel::ThreadToProcess(thread));
        EXPECT_EQ(SidOf(primary), "S-1-22-1-4321");
        kernel::DereferencePrimaryToken(primary);
        kernel::Thread* looked = nullptr;
        EXPECT_EQ(kernel::LookupThreadByThreadId(id, &looked), kernel::STATUS_SUCCESS)
            << "still known while referenced";
        EXPECT_EQ(looked, thread);
        kernel::DereferenceObject(looked);
    }
    EXPECT_EQ(InternedObjects(), before) << "forgotten with the last reference";
    kernel::Thread* gone = nullptr;
    EXPECT_EQ(kernel::LookupThreadByThreadId(id, &gone), kernel::STATUS_INVALID_PARAMETER);
}

TEST(RequestorIdentity, KernelRequestsAndHostThreadsAreTheSystems) {
    kernel::Thread* host = kernel::CurrentThread();
    EXPECT_TRUE(kernel::IsSystemThread(host));
    EXPECT_EQ(kernel::ThreadId(host), Tid());
    {
        RequestorScope scope({0, 0, 0});
        EXPECT_EQ(kernel::CurrentThread(), host) << "pid 0: sent by the kernel itself";
    }
    kernel::Token* token = kernel::ReferencePrimaryToken(kernel::ThreadToProcess(host));
    EXPECT_EQ(SidOf(token), "S-1-5-18");
    kernel::Luid logon{};
    EXPECT_EQ(kernel::QueryAuthenticationIdToken(token, &logon), kernel::STATUS_SUCCESS);
    EXPECT_EQ(logon.LowPart, 0x3E7u);
    kernel::DereferencePrimaryToken(token);
}

TEST(SystemThreads, RunTheirRoutineAndCanBeWaitedFor) {
    std::atomic<std::uint32_t> ran{0};
    kernel::Thread* thread = nullptr;
    ASSERT_EQ(kernel::CreateSystemThread(
                  [](void* context) {
                      static_cast<std::atomic<std::uint32_t>*>(context)->store(
                          kernel::ThreadId(kernel::CurrentThread()));
                  },
                  &ran, &thread),
              kernel::STATUS_SUCCESS);
    kernel::WaitForThread(thread);
    EXPECT_EQ(ran.load(), kernel::ThreadId(thread)) << "the routine ran as that thread";
    EXPECT_TRUE(kernel::IsSystemThread(thread));
    kernel::DereferenceObject(thread);
}

}  // namespace
}  // namespace linux_kernel
