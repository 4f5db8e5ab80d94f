// What the shared kernel runtime needs from the face it runs on (simulated or real): the clock
// behind every time-out. Internal to the platform layer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kernel::face {

std::int64_t Now();  // system time, 100 ns units since 1601

// One bounded wait on cv (lock held). Returns false without waiting once the system time has
// reached deadline; otherwise waits until notified, a spurious wake-up, or the deadline, and
// returns true. Callers re-check their condition in a loop.
bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               std::int64_t deadline);

}  // namespace kernel::face

namespace kernel::detail {

// Waits until pred() holds. timeout: nullptr forever, negative relative, positive absolute.
// Returns pred() at the end (false: timed out).
template <typename Pred>
bool WaitWithTimeout(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                     const std::int64_t* timeout, Pred pred) {
    if (timeout == nullptr) {
        cv.wait(lock, pred);
        return true;
    }
    const std::int64_t deadline = *timeout < 0 ? face::Now() - *timeout : *timeout;
    while (!pred()) {
        if (!face::WaitUntil(cv, lock, deadline)) {
            return pred();
        }
    }
    return true;
}

}  // namespace kernel::detail
