#include "sim_clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "../kernel/face.h"

namespace sim {
namespace {
std::atomic<std::int64_t> now{SimClock::kStart};
}

std::int64_t SimClock::Now() { return now.load(); }
void SimClock::Set(std::int64_t systemTime) { now.store(systemTime); }
void SimClock::Advance(std::int64_t hundredNanoseconds) { now.fetch_add(hundredNanoseconds); }
void SimClock::SleepRealMilliseconds(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace sim

namespace kernel::face {

std::int64_t Now() { return sim::SimClock::Now(); }

bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               std::int64_t deadline) {
    if (sim::SimClock::Now() >= deadline) {
        return false;
    }
    // Simulated time moves without notifying anyone, so a timed waiter looks at the clock again
    // every millisecond of real time; notifications still wake it at once.
    cv.wait_for(lock, std::chrono::milliseconds(1));
    return true;
}

}  // namespace kernel::face

namespace kernel {
std::int64_t QuerySystemTime() { return face::Now(); }
}  // namespace kernel
