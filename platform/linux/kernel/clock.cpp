// The real clock: system time from CLOCK_REALTIME, and waits bounded by it.
#include <time.h>

#include <chrono>

#include "../../kernel/face.h"
#include "platform/kernel/system_time.h"

namespace kernel::face {
namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600LL;
}  // namespace

std::int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::int64_t>(now.tv_sec) + kEpochDifference) * 10'000'000LL +
           now.tv_nsec / 100;
}

bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               std::int64_t deadline) {
    const std::int64_t left = deadline - Now();
    if (left <= 0) {
        return false;
    }
    cv.wait_for(lock, std::chrono::microseconds(left / 10 + 1));
    return true;
}

}  // namespace kernel::face

namespace kernel {
std::int64_t QuerySystemTime() {
    return face::Now();
}
}  // namespace kernel
