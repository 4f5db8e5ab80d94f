// The simulated system clock: it stands still until a test moves it, so time-outs (a ten-second
// re-offer, say) are tested without waiting for them.
#pragma once

#include <cstdint>

namespace sim {

class SimClock {
public:
    // 2026-01-01 00:00:00 UTC in system time, the clock's value after Reset.
    static constexpr std::int64_t kStart = 134'116'992'000'000'000;

    static std::int64_t Now();
    static void Set(std::int64_t systemTime);
    static void Advance(std::int64_t hundredNanoseconds);
    static void AdvanceSeconds(std::int64_t seconds) { Advance(seconds * 10'000'000); }
    static void Reset() { Set(kStart); }

    // Moves the clock by step, again and again, until done() holds: for tests whose waiter may not
    // have started its wait yet when the clock first moves. Gives up after ten real seconds.
    template <typename Done>
    static bool AdvanceUntil(Done done, std::int64_t step) {
        for (int i = 0; i < 10'000 && !done(); ++i) {
            Advance(step);
            SleepRealMilliseconds(1);
        }
        return done();
    }

private:
    static void SleepRealMilliseconds(int ms);
};

}  // namespace sim
