// Kernel event. A notification event stays signalled until reset; a synchronization event
// releases one waiter and resets itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/kernel/status.h"

namespace kernel {

enum class EventType : std::uint8_t { Notification, Synchronization };

class Event {
public:
    Event(EventType type, bool signalled) : type_(type), signalled_(signalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();  // callable at any IRQL up to DISPATCH_LEVEL
    void Reset();
    bool IsSignalled();

    // Waits below DISPATCH_LEVEL. timeout: nullptr waits forever; a negative value is relative
    // (100 ns units), as elsewhere in the kernel. Returns STATUS_SUCCESS or STATUS_TIMEOUT.
    NTSTATUS Wait(const std::int64_t* timeout = nullptr);

private:
    const EventType type_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;  // protected by mutex_
};

}  // namespace kernel
