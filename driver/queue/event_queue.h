// The event queue and its delivery thread.
//
// Notifications are produced inside file-system and process callbacks, where the driver must not
// wait for user mode; they are appended here and one system thread sends them to the client in
// the order they were queued. The queue also carries name references that were dropped where
// releasing them was not allowed, so that the delivery thread releases them at passive level.
//
// Producers run at up to DISPATCH_LEVEL: enqueuing is one allocation, one insertion under the
// queue spin lock and one event signal. The only consumer is the delivery thread (plus whoever
// drains). The entry being offered is outside the list, so a drain cannot free it under the
// thread's feet.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/event.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/list.h"
#include "platform/kernel/port.h"
#include "platform/kernel/process.h"
#include "platform/kernel/spin_lock.h"
#include "wire/port_wire.h"

namespace vesk::driver {

// Counters of what the delivery thread did, for diagnostics and tests.
struct DeliveryCounters {
    std::uint64_t offers = 0;     // sends started
    std::uint64_t delivered = 0;  // sends the client took
    std::uint64_t timeouts = 0;   // sends that timed out (the message is offered again)
    std::uint64_t dropped = 0;    // messages given up after a send error
    std::uint64_t enqueueFailures = 0;  // notifications lost for want of an entry
};

class EventQueue {
public:
    // How long one offer waits for the client: ten seconds.
    static constexpr std::int64_t kOfferTimeout = -100'000'000;

    EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // Takes ownership of the message in every case: on failure (no entry memory) it is freed and
    // STATUS_INSUFFICIENT_RESOURCES returned.
    kernel::NTSTATUS EnqueueMessage(wire::NotificationHeader* message, std::uint32_t totalLength);

    // Queues a name reference for release on the delivery thread. On failure the reference stays
    // with the caller, unreleased, and STATUS_INSUFFICIENT_RESOURCES is returned.
    kernel::NTSTATUS EnqueueNameRelease(kernel::FileNameInformation* name);

    // Removes every entry: messages are freed, name references released (or, when the caller runs
    // at DISPATCH_LEVEL or above, queued again for the delivery thread).
    void Drain();

    // Starts the delivery thread, which sends to the client in *clientPortSlot.
    kernel::NTSTATUS StartDelivery(kernel::ClientPortSlot* clientPortSlot);
    // Stops the delivery thread (waiting for it; an offer in progress ends with its time-out or the
    // client's answer first), then drains.
    void StopDelivery();

    DeliveryCounters Counters() const;

private:
    struct Entry;
    enum EntryKind : std::uint8_t { kSendMessage = 0, kReleaseName = 1 };

    kernel::NTSTATUS Insert(EntryKind kind, void* item, std::uint32_t length);
    void FreeEntry(Entry* entry, bool atPassiveLevel);
    static void DeliveryRoutine(void* context);
    void DeliveryLoop();

    kernel::ListEntry head_;
    kernel::SpinLock lock_;  // guards head_ and the list
    kernel::Event event_{kernel::EventType::Synchronization, false};
    kernel::Thread* thread_ = nullptr;  // referenced while the thread exists
    std::atomic<std::uint8_t> stop_{0};
    kernel::ClientPortSlot* clientPortSlot_ = nullptr;

    std::atomic<std::uint64_t> offers_{0};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> timeouts_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> enqueueFailures_{0};
};

}  // namespace vesk::driver
