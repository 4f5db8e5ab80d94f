#include "requestor_identity.h"

#include "core/pool_tags.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sid.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS ReferenceThreadToken(Thread* thread, ThreadToken* out) {
    if (thread == nullptr || out == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ImpersonationLevel level{};
    if (Token* token = ReferenceImpersonationToken(thread, &level)) {
        *out = ThreadToken{token, true};
        return STATUS_SUCCESS;
    }
    Token* primary = ReferencePrimaryToken(ThreadToProcess(thread));
    if (primary == nullptr) {
        return STATUS_NO_TOKEN;
    }
    *out = ThreadToken{primary, false};
    return STATUS_SUCCESS;
}

void ReleaseThreadToken(const ThreadToken& token) {
    if (token.impersonation) {
        DereferenceImpersonationToken(token.token);
    } else {
        DereferencePrimaryToken(token.token);
    }
}

NTSTATUS QueryThreadIdentity(Thread* thread, ThreadIdentity* identity) {
    ThreadToken token;
    NTSTATUS status = ReferenceThreadToken(thread, &token);
    if (!NtSuccess(status)) {
        return status;
    }
    ThreadIdentity result;
    TokenUser* user = nullptr;
    status = QueryAuthenticationIdToken(token.token, &result.authenticationId);
    if (NtSuccess(status)) {
        status = QueryTokenUser(token.token, &user);
    }
    if (NtSuccess(status)) {
        // A SID the token reports but that does not measure as one counts as length 0.
        const std::size_t length =
            IsValidSid(user->Sid, kSidMaxLength) ? SidLength(user->Sid) : 0;
        result.sid = length == 0 ? nullptr : AllocatePool(PoolType::Paged, length, kTagSid);
        if (result.sid == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            status = CopySid(length, result.sid, user->Sid);
            result.sidLength = static_cast<std::uint32_t>(length);
        }
    }
    result.impersonated = token.impersonation;

    if (user != nullptr) {
        FreePool(user, kTokenUserTag);
    }
    ReleaseThreadToken(token);
    if (!NtSuccess(status)) {
        FreeThreadIdentity(&result);
        return status;
    }
    *identity = result;
    return STATUS_SUCCESS;
}

void FreeThreadIdentity(ThreadIdentity* identity) {
    if (identity->sid != nullptr) {
        FreePool(identity->sid, kTagSid);
        identity->sid = nullptr;
    }
    identity->sidLength = 0;
}

NTSTATUS QueryThreadLogonId(Thread* thread, Luid* logonId) {
    ThreadToken token;
    NTSTATUS status = ReferenceThreadToken(thread, &token);
    if (!NtSuccess(status)) {
        return status;
    }
    status = QueryAuthenticationIdToken(token.token, logonId);
    ReleaseThreadToken(token);
    return status;
}

}  // namespace vesk::driver
