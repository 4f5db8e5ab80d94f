// The communication port's security descriptor: a discretionary ACL with one entry that grants
// all port access to the world, so any user-mode process may ask to connect (the port itself
// admits one client at a time).
#pragma once

#include "platform/kernel/security_descriptor.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

constexpr std::uint32_t kPortAllAccess = 0x001F0001;

struct PortSecurity {
    kernel::SecurityDescriptor descriptor{};
    void* worldSid = nullptr;    // pageable, "Fsid"
    kernel::Acl* acl = nullptr;  // pageable, "Facl"
};

// On failure nothing is left allocated.
kernel::NTSTATUS BuildPortSecurity(PortSecurity* security);
// The port keeps its own copy; the parts are freed once it exists.
void FreePortSecurity(PortSecurity* security);

}  // namespace vesk::driver
