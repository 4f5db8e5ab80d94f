#include "platform/kernel/event.h"

#include "face.h"
#include "platform/kernel/irql.h"

namespace kernel {

void Event::Set() {
    if (CurrentIrql() > DISPATCH_LEVEL) {
        BugCheck("event set above DISPATCH_LEVEL");
    }
    std::lock_guard lock(mutex_);
    signalled_ = true;
    if (type_ == EventType::Notification) {
        cv_.notify_all();
    } else {
        cv_.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::IsSignalled() {
    std::lock_guard lock(mutex_);
    return signalled_;
}

NTSTATUS Event::Wait(const std::int64_t* timeout) {
    if (CurrentIrql() >= DISPATCH_LEVEL && (timeout == nullptr || *timeout != 0)) {
        BugCheck("blocking wait at DISPATCH_LEVEL or above");
    }
    std::unique_lock lock(mutex_);
    const bool signalled = detail::WaitWithTimeout(cv_, lock, timeout, [this] { return signalled_; });
    if (!signalled) {
        return STATUS_TIMEOUT;
    }
    if (type_ == EventType::Synchronization) {
        signalled_ = false;
    }
    return STATUS_SUCCESS;
}

}  // namespace kernel
