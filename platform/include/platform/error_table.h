// The one table of the platform layer that maps errno values, NTSTATUS values and Win32 error
// codes onto each other, with the numbers the system names. The Linux-facing code of both faces
// turns errno into a status here and nowhere else; the user-mode face turns the statuses that
// cross the port into the error codes its callers see.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"

namespace platform {

using HRESULT = std::int32_t;

// STATUS_UNSUCCESSFUL for an errno the table does not know.
kernel::NTSTATUS NtStatusFromErrno(int error);

// 0 for STATUS_SUCCESS; 317 (ERROR_MR_MID_NOT_FOUND) for a status the table does not know.
std::uint32_t Win32FromNtStatus(kernel::NTSTATUS status);

std::uint32_t Win32FromErrno(int error);

// 0 stays 0; any other code becomes the failure HRESULT of the Win32 facility (0x8007xxxx), whose
// low 16 bits give the code back.
constexpr HRESULT HResultFromWin32(std::uint32_t code) {
    return code == 0 ? 0 : static_cast<HRESULT>(0x80070000U | (code & 0xFFFFU));
}
inline HRESULT HResultFromNtStatus(kernel::NTSTATUS status) {
    return HResultFromWin32(Win32FromNtStatus(status));
}

}  // namespace platform
