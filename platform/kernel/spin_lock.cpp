#include "platform/kernel/spin_lock.h"

#include <thread>

namespace kernel {

KIRQL SpinLock::Acquire() {
    if (CurrentIrql() > DISPATCH_LEVEL) {
        BugCheck("spin lock acquired above DISPATCH_LEVEL");
    }
    const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
    while (locked_.exchange(true, std::memory_order_acquire)) {
        while (locked_.load(std::memory_order_relaxed)) {
            // A holder on this machine may have been preempted (host threads are not pinned to a
            // processor), so yield instead of burning the time slice.
            std::this_thread::yield();
        }
    }
    return old;
}

void SpinLock::Release(KIRQL oldIrql) {
    locked_.store(false, std::memory_order_release);
    LowerIrql(oldIrql);
}

}  // namespace kernel
