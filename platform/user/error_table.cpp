#include "platform/error_table.h"

#include <cerrno>
#include <iterator>

namespace platform {
namespace {

using kernel::NTSTATUS;

struct Row {
    int error;  // 0: no errno leads here
    NTSTATUS status;
    std::uint32_t win32;
};

constexpr NTSTATUS Nt(std::uint32_t value) {
    return static_cast<NTSTATUS>(value);
}

// Looked up from the top: the first row with a matching errno (or status) wins, so the preferred
// translation of a value comes first.
constexpr Row kTable[] = {
    {ENOENT, Nt(0xC0000034), 2},        // STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND
    {ECONNREFUSED, Nt(0xC0000034), 2},  // a socket nobody serves: the port does not exist
    {ENOTDIR, Nt(0xC000003A), 3},       // STATUS_OBJECT_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND
    {EACCES, Nt(0xC0000022), 5},        // STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED
    {EPERM, Nt(0xC0000022), 5},
    {0, Nt(0xC0000041), 5},      // STATUS_PORT_CONNECTION_REFUSED
    {EPIPE, Nt(0xC0000037), 6},  // STATUS_PORT_DISCONNECTED, ERROR_INVALID_HANDLE
    {ECONNRESET, Nt(0xC0000037), 6},
    {ENOTCONN, Nt(0xC0000037), 6},
    {EBADF, Nt(0xC0000008), 6},       // STATUS_INVALID_HANDLE
    {ENOMEM, Nt(0xC0000017), 8},      // STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY
    {ENOBUFS, Nt(0xC000009A), 1450},  // STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES
    {EPROTO, Nt(0xC000090B), 13},     // STATUS_BAD_DATA, ERROR_INVALID_DATA
    {EINVAL, Nt(0xC000000D), 87},     // STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER
    {ESRCH, Nt(0xC000000B), 87},      // STATUS_INVALID_CID
    {ENAMETOOLONG, Nt(0xC0000106), 206},  // STATUS_NAME_TOO_LONG, ERROR_FILENAME_EXCED_RANGE
    {EEXIST, Nt(0xC0000035), 183},        // STATUS_OBJECT_NAME_COLLISION, ERROR_ALREADY_EXISTS
    {EADDRINUSE, Nt(0xC0000035), 183},
    {ETIMEDOUT, Nt(0x00000102), 258},  // STATUS_TIMEOUT, WAIT_TIMEOUT
    {EMSGSIZE, Nt(0xC0000206), 1784},  // STATUS_INVALID_BUFFER_SIZE, ERROR_INVALID_USER_BUFFER
    {ENOSYS, Nt(0xC0000002), 1},       // STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION
    {EOPNOTSUPP, Nt(0xC00000BB), 50},  // STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED
    {ECANCELED, Nt(0xC0000120), 995},  // STATUS_CANCELLED, ERROR_OPERATION_ABORTED
    {EOVERFLOW, Nt(0xC0000095), 534},  // STATUS_INTEGER_OVERFLOW, ERROR_ARITHMETIC_OVERFLOW
    {0, Nt(0xC0000001), 31},           // STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE
    {0, Nt(0xC0000010), 1},            // STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION
    {0, Nt(0xC0000023), 122},          // STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER
    {0, Nt(0x80000005), 234},          // STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA
    {0, Nt(0xC00000E8), 1784},         // STATUS_INVALID_USER_BUFFER, ERROR_INVALID_USER_BUFFER
    {0, Nt(0xC0000719), 1002},         // the port's refusal of a malformed context
    {0, Nt(0xC0000008), 6},            // STATUS_INVALID_HANDLE
    {0, Nt(0xC000010E), 1056},         // STATUS_IMAGE_ALREADY_LOADED, ERROR_SERVICE_ALREADY_RUNNING
    {0, Nt(0xC0000043), 32},           // STATUS_SHARING_VIOLATION, ERROR_SHARING_VIOLATION
};

}  // namespace

NTSTATUS NtStatusFromErrno(int error) {
    if (error == 0) {
        return kernel::STATUS_SUCCESS;
    }
    for (const Row& row : kTable) {
        if (row.error == error) {
            return row.status;
        }
    }
    return kernel::STATUS_UNSUCCESSFUL;
}

std::uint32_t Win32FromNtStatus(NTSTATUS status) {
    if (status == kernel::STATUS_SUCCESS) {
        return 0;
    }
    for (const Row& row : kTable) {
        if (row.status == status) {
            return row.win32;
        }
    }
    return 317;  // ERROR_MR_MID_NOT_FOUND: no message for this status
}

std::uint32_t Win32FromErrno(int error) {
    return Win32FromNtStatus(NtStatusFromErrno(error));
}

}  // namespace platform
