// Kernel names back to what users know: a drive-letter name and, for network files, the UNC root
// (the VeskCmdResolveName command).
#pragma once

#include <cstdint>
#include <string_view>

#include "control/command_handlers.h"
#include "counted_string.h"
#include "platform/kernel/status.h"
#include "platform/kernel/token.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

struct ResolvedName {
    char16_t letter = 0;          // 0: the name has no drive-letter form
    std::u16string_view rest;     // what follows "X:" (part of the resolved name)
    std::u16string_view uncRoot;  // "\server\share", or empty; part of the name or of device
    bool providerFound = false;   // a network-name parse succeeded ...
    std::uint32_t provider = 0;   // ... and this is the code of the last one
    CountedStringHolder device;   // the drive's device, kept while uncRoot points into it
};

// Without a logon id the drives are those of the calling thread's process, with their types;
// with one (or when the process's device map cannot be read) every letter A to Z is tried
// through that logon session. Fails with STATUS_BAD_NETWORK_PATH for a network drive whose device
// is no network name, with the parse's status when the name matches no drive and is no network
// name, and with STATUS_INVALID_PARAMETER when it has neither a drive-letter form nor a UNC root
// (or no UNC root is wanted).
kernel::NTSTATUS ResolveKernelName(const kernel::UnicodeString& name, bool wantUncRoot,
                                   const kernel::Luid* logonId, ResolvedName* result);

// The component behind VeskCmdResolveName: answers with the capacities protocol (the needed
// lengths and STATUS_BUFFER_TOO_SMALL when a name does not fit, nothing else written).
class NameResolver final : public NameCommands {
  public:
    kernel::NTSTATUS ResolveName(const ResolveNameRequest& request,
                                 std::uint32_t* replyLength) override;
};

}  // namespace vesk::driver
