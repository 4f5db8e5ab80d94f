// Access tokens: the primary token of a process and the impersonation token a thread may carry.
// Like threads, tokens are defined by the face of the platform.
#pragma once

#include <cstdint>

#include "platform/kernel/pool.h"
#include "platform/kernel/process.h"
#include "platform/kernel/status.h"

namespace kernel {

class Token;

enum class ImpersonationLevel : std::uint8_t { Anonymous, Identification, Impersonation, Delegation };

struct Luid {
    std::uint32_t LowPart;
    std::int32_t HighPart;
};

// The impersonation token of a thread, referenced, or nullptr when the thread does not
// impersonate. Release with DereferenceImpersonationToken.
Token* ReferenceImpersonationToken(Thread* thread, ImpersonationLevel* level);
void DereferenceImpersonationToken(Token* token);

// The primary token of a process, referenced, or nullptr when the process has none.
// Release with DereferencePrimaryToken.
Token* ReferencePrimaryToken(Process* process);
void DereferencePrimaryToken(Token* token);

NTSTATUS QueryAuthenticationIdToken(Token* token, Luid* authenticationId);

constexpr std::uint32_t kTokenUserTag = MakePoolTag("SeTu");

// The token's user, as a pool block (tag kTokenUserTag) that holds a TokenUser followed by the SID
// it points to. The caller frees it with FreePool.
struct TokenUser {
    const void* Sid;
    std::uint32_t Attributes;
};
NTSTATUS QueryTokenUser(Token* token, TokenUser** user);

}  // namespace kernel
