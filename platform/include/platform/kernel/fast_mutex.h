// Fast mutex: a non-recursive sleeping lock that raises to APC_LEVEL while held. May only be
// acquired below DISPATCH_LEVEL.
#pragma once

#include <mutex>

#include "platform/kernel/irql.h"

namespace kernel {

class FastMutex {
public:
    FastMutex() = default;
    FastMutex(const FastMutex&) = delete;
    FastMutex& operator=(const FastMutex&) = delete;

    void Acquire();
    void Release();

private:
    std::mutex mutex_;
    KIRQL oldIrql_ = PASSIVE_LEVEL;  // protected by mutex_
};

class FastMutexGuard {
public:
    explicit FastMutexGuard(FastMutex& mutex) : mutex_(mutex) { mutex_.Acquire(); }
    ~FastMutexGuard() { mutex_.Release(); }
    FastMutexGuard(const FastMutexGuard&) = delete;
    FastMutexGuard& operator=(const FastMutexGuard&) = delete;

private:
    FastMutex& mutex_;
};

}  // namespace kernel
