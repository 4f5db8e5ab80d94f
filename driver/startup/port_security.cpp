#include "port_security.h"

#include <cstring>

#include "core/pool_tags.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sid.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS BuildPortSecurity(PortSecurity* security) {
    *security = PortSecurity{};
    const std::size_t sidLength = SidLengthRequired(1);
    security->worldSid = AllocatePool(PoolType::Paged, sidLength, kTagSid);
    if (security->worldSid == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    NTSTATUS status = InitializeSid(security->worldSid, kWorldSidAuthority, 1);
    if (NtSuccess(status)) {
        const std::uint32_t rid = kWorldRid;
        std::memcpy(SubAuthoritySid(security->worldSid, 0), &rid, sizeof rid);
        // The ACL header, the entry's header and mask, and the SID, with room to spare.
        const auto aclLength = static_cast<std::uint32_t>(SidLength(security->worldSid) + 20);
        security->acl = static_cast<Acl*>(AllocatePool(PoolType::Paged, aclLength, kTagAcl));
        status = security->acl == nullptr ? STATUS_INSUFFICIENT_RESOURCES
                                          : CreateAcl(security->acl, aclLength, kAclRevision);
    }
    if (NtSuccess(status)) {
        status =
            AddAccessAllowedAce(security->acl, kAclRevision, kPortAllAccess, security->worldSid);
    }
    if (NtSuccess(status)) {
        status = CreateSecurityDescriptor(&security->descriptor, kSecurityDescriptorRevision);
    }
    if (NtSuccess(status)) {
        status = SetDaclSecurityDescriptor(&security->descriptor, true, security->acl, false);
    }
    if (!NtSuccess(status)) {
        FreePortSecurity(security);
    }
    return status;
}

void FreePortSecurity(PortSecurity* security) {
    if (security->acl != nullptr) {
        FreePool(security->acl, kTagAcl);
        security->acl = nullptr;
    }
    if (security->worldSid != nullptr) {
        FreePool(security->worldSid, kTagSid);
        security->worldSid = nullptr;
    }
    security->descriptor.Dacl = nullptr;
}

}  // namespace vesk::driver
