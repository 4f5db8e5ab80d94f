#include "last_error.h"

#include "vesk/vesklib.h"

namespace vesk::engine {
namespace {
thread_local std::uint32_t lastError = 0;
}

void SetLastError(std::uint32_t error) {
    lastError = error;
}
std::uint32_t GetLastError() {
    return lastError;
}

}  // namespace vesk::engine

extern "C" VESK_API uint32_t VeskGetErrorCode(void) {
    return vesk::engine::GetLastError();
}
