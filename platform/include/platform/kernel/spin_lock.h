// Spin lock: raises to DISPATCH_LEVEL while held, so its holder may neither block nor touch
// paged memory. Never held across a call that can wait.
#pragma once

#include <atomic>

#include "platform/kernel/irql.h"

namespace kernel {

class SpinLock {
public:
    SpinLock() = default;
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

    KIRQL Acquire();
    void Release(KIRQL oldIrql);

private:
    std::atomic<bool> locked_{false};
};

class SpinLockGuard {
public:
    explicit SpinLockGuard(SpinLock& lock) : lock_(lock), oldIrql_(lock.Acquire()) {}
    ~SpinLockGuard() { lock_.Release(oldIrql_); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    SpinLock& lock_;
    KIRQL oldIrql_;
};

}  // namespace kernel
