// Who acted: the user SID and logon id of the token a thread ran under, and whether that token
// was an impersonation token.
#pragma once

#include <cstdint>

#include "platform/kernel/process.h"
#include "platform/kernel/status.h"
#include "platform/kernel/token.h"

namespace vesk::driver {

struct ThreadToken {
    kernel::Token* token = nullptr;  // referenced
    bool impersonation = false;      // decides which routine releases it
};

// The token a thread acts under: its impersonation token when it impersonates (at any level),
// else its process's primary token. STATUS_INVALID_PARAMETER for a missing thread or output,
// STATUS_NO_TOKEN when the process has no primary token.
kernel::NTSTATUS ReferenceThreadToken(kernel::Thread* thread, ThreadToken* out);
void ReleaseThreadToken(const ThreadToken& token);

struct ThreadIdentity {
    void* sid = nullptr;  // pool block, tag "Fsid", owned by the caller (FreeThreadIdentity)
    std::uint32_t sidLength = 0;
    kernel::Luid authenticationId{0, 0};
    bool impersonated = false;
};

// On failure nothing is left allocated or referenced.
kernel::NTSTATUS QueryThreadIdentity(kernel::Thread* thread, ThreadIdentity* identity);
void FreeThreadIdentity(ThreadIdentity* identity);

// Only the logon id, for callers that need to know it can be obtained.
kernel::NTSTATUS QueryThreadLogonId(kernel::Thread* thread, kernel::Luid* logonId);

}  // namespace vesk::driver
