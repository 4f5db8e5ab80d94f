// Kernel handles: entries of the kernel's handle table that name an object (a process, an open
// file). Every handle a caller opened is closed with CloseHandle; closing the last handle of a
// file runs its cleanup.
#pragma once

#include "platform/kernel/status.h"

namespace kernel {

class Handle;

// Below DISPATCH_LEVEL. STATUS_INVALID_HANDLE for a handle that is not open.
NTSTATUS CloseHandle(Handle* handle);

}  // namespace kernel
