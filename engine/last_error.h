// The calling thread's last error, which every export sets and VeskGetErrorCode returns.
#pragma once

#include <cstdint>

#include "platform/error_table.h"

namespace vesk::engine {

// The Win32 codes the library itself uses.
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = 122,
    kErrorInvalidName = 123,
    kErrorProcNotFound = 127,
    kErrorBrokenPipe = 232,
    kErrorWaitTimeout = 258,
    kErrorInvalidWait = 554,
    kErrorOperationAborted = 995,
    kErrorMoreData = 234,
    kErrorInternal = 1359,
    kErrorTimeout = 1460,
    kErrorInvalidOperation = 4317,
    kErrorInvalidState = 5023,
    kErrorPortGone = 6815,
};

void SetLastError(std::uint32_t error);
std::uint32_t GetLastError();

// Failures of the platform's port and name calls become their low 16 bits.
inline std::uint32_t ErrorFromResult(platform::HRESULT result) {
    return static_cast<std::uint32_t>(result) & 0xFFFF;
}

}  // namespace vesk::engine
