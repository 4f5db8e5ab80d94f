// Symbolic links of the object namespace: drive letters ("\??\C:" -> "\Device\HarddiskVolume2"),
// the per-logon-session drive links and the redirectors' device links. The face fills the
// namespace; the driver only reads it.
//
// Names are compared without regard to case. "\??\" (and "\DosDevices\") stands for the caller's
// DOS device directory: first the links of the caller's logon session
// ("\Sessions\0\DosDevices\HHHHHHHH-LLLLLLLL\", after the current thread's impersonation token or
// else its process's primary token), then the global ones ("\GLOBAL??\"). Links met on the way to
// the last component are followed; the last component itself is opened, not followed.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace kernel {

class SymbolicLink;

// Below DISPATCH_LEVEL. STATUS_OBJECT_NAME_NOT_FOUND: no such object;
// STATUS_OBJECT_PATH_NOT_FOUND: a directory on the way does not exist;
// STATUS_OBJECT_TYPE_MISMATCH: the object exists but is not a symbolic link.
// Close a link opened here with CloseSymbolicLink.
NTSTATUS OpenSymbolicLinkObject(const UnicodeString& name, SymbolicLink** link);

// Copies the link's target into target->Buffer (target->MaximumLength bytes) and sets
// target->Length; a 16-bit zero follows when room is left. When the target does not fit:
// STATUS_BUFFER_TOO_SMALL, target unchanged. *returnedLength (optional) receives the bytes the
// target needs with its zero.
NTSTATUS QuerySymbolicLinkObject(SymbolicLink* link, UnicodeString* target,
                                 std::uint32_t* returnedLength);

void CloseSymbolicLink(SymbolicLink* link);

}  // namespace kernel
