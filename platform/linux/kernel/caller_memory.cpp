// Caller memory on the host: every buffer an operation carries is the host's own (a FUSE request
// or reply buffer), so a guarded copy is a plain copy.
#include <cstring>

#include "platform/fltmgr/buffers.h"

namespace kernel {

NTSTATUS CopyFromCallerMemory(void* destination, const void* source, std::size_t length) {
    if (length == 0) {
        return STATUS_SUCCESS;
    }
    if (source == nullptr) {
        return STATUS_ACCESS_VIOLATION;
    }
    std::memcpy(destination, source, length);
    return STATUS_SUCCESS;
}

}  // namespace kernel
