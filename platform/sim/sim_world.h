// The simulated world behind the kernel's process, thread and token services: tests create the
// processes, threads and tokens they need, decide which thread is "current", make token queries
// fail, and check afterwards that every reference the code under test took was given back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kernel/process.h"
#include "platform/kernel/token.h"

namespace sim {

struct TokenSpec {
    std::string sid;             // e.g. "S-1-5-21-1-2-3-1001"
    kernel::Luid logonId{0, 0};  // the token's authentication id
};

class World {
public:
    // The system process (id 4, session 0) with the system account's token (S-1-5-18, logon
    // id 0x3E7) exists after every reset.
    static constexpr std::uint32_t kSystemProcessId = 4;
    static constexpr kernel::Luid kSystemLogonId{0x3E7, 0};

    // Forgets every process, thread and token. Objects a previous test leaked references to are
    // kept alive (never freed) so that late dereferences stay harmless.
    static void Reset();

    static kernel::Token* CreatePrimaryToken(const TokenSpec& spec);
    static kernel::Token* CreateImpersonationToken(const TokenSpec& spec);

    // primaryToken may be nullptr: a process without a primary token.
    static kernel::Process* CreateProcess(std::uint32_t processId, std::uint32_t sessionId,
                                          kernel::Token* primaryToken);
    static kernel::Process* SystemProcess();
    // threadId 0 picks a fresh id.
    static kernel::Thread* CreateThread(kernel::Process* process, std::uint32_t threadId = 0);

    static void Impersonate(kernel::Thread* thread, kernel::Token* token,
                            kernel::ImpersonationLevel level);
    static void RevertToSelf(kernel::Thread* thread);

    // A thread that exited can no longer be looked up by id; references to it stay valid.
    static void ExitThread(kernel::Thread* thread);

    // Binds the calling host thread to a simulated thread: CurrentThread() returns it.
    static void SetCurrentThread(kernel::Thread* thread);

    // Makes CreateSystemThread fail with a status (STATUS_SUCCESS restores it).
    static void FailSystemThreadCreation(kernel::NTSTATUS status);

    // Makes the token's queries fail with a status (STATUS_SUCCESS restores them).
    static void FailAuthenticationIdQuery(kernel::Token* token, kernel::NTSTATUS status);
    static void FailUserQuery(kernel::Token* token, kernel::NTSTATUS status);
    // Makes the token's user SID report a length of zero.
    static void EmptyUserSid(kernel::Token* token);

    // References held beyond the world's own; 0 when the code under test gave all back.
    static std::int64_t ExtraReferences(kernel::Thread* thread);
    static std::int64_t ExtraReferences(kernel::Token* token);
    // Every object of the world with references held beyond the world's own, one per line.
    static std::string DescribeLeakedReferences();
};

}  // namespace sim
