#include "event_queue.h"

#include <cstddef>

#include "core/pool_tags.h"
#include "message/notification_builder.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

namespace vesk::driver {

using namespace kernel;

struct EventQueue::Entry {
    ListEntry links;  // first: the list hands back &links, which is the entry
    std::uint8_t kind;
    void* item;  // the message, or the name reference
    std::uint32_t itemLength;
};

EventQueue::EventQueue() { InitializeListHead(&head_); }

NTSTATUS EventQueue::Insert(EntryKind kind, void* item, std::uint32_t length) {
    static_assert(offsetof(Entry, links) == 0, "the list's pointer is the entry's");
    auto* entry = static_cast<Entry*>(AllocatePool(PoolType::NonPaged, sizeof(Entry), kTagQueueEntry));
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    entry->kind = kind;
    entry->item = item;
    entry->itemLength = length;
    InterlockedInsertTailList(&head_, &entry->links, &lock_);
    event_.Set();
    return STATUS_SUCCESS;
}

NTSTATUS EventQueue::EnqueueMessage(wire::NotificationHeader* message, std::uint32_t totalLength) {
    const NTSTATUS status = Insert(kSendMessage, message, totalLength);
    if (!NtSuccess(status)) {
        enqueueFailures_.fetch_add(1, std::memory_order_relaxed);
        FreeMessage(message);
    }
    return status;
}

NTSTATUS EventQueue::EnqueueNameRelease(FileNameInformation* name) {
    return Insert(kReleaseName, name, 0);
}

void EventQueue::FreeEntry(Entry* entry, bool atPassiveLevel) {
    if (entry->kind == kSendMessage) {
        FreeMessage(static_cast<wire::NotificationHeader*>(entry->item));
    } else if (entry->item != nullptr) {
        auto* name = static_cast<FileNameInformation*>(entry->item);
        entry->item = nullptr;
        if (atPassiveLevel) {
            ReleaseFileNameInformation(name);
        } else if (!NtSuccess(EnqueueNameRelease(name))) {
            // Nowhere to defer it: the reference stays unreleased, which keeps the name record
            // alive but never frees it twice.
        }
    }
    FreePool(entry, kTagQueueEntry);
}

void EventQueue::Drain() {
    const bool passive = CurrentIrql() < DISPATCH_LEVEL;
    // Re-deferred releases land at the tail; stop at what was queued when the drain began so a
    // drain at DISPATCH_LEVEL cannot chase its own re-queued entries forever.
    std::uint64_t budget = 0;
    {
        SpinLockGuard guard(lock_);
        for (ListEntry* e = head_.flink; e != &head_; e = e->flink) {
            ++budget;
        }
    }
    for (; budget != 0; --budget) {
        ListEntry* links = InterlockedRemoveHeadList(&head_, &lock_);
        if (links == nullptr) {
            break;
        }
        FreeEntry(reinterpret_cast<Entry*>(links), passive);
    }
}

NTSTATUS EventQueue::StartDelivery(ClientPortSlot* clientPortSlot) {
    clientPortSlot_ = clientPortSlot;
    stop_.store(0);
    return CreateSystemThread(&EventQueue::DeliveryRoutine, this, &thread_);
}

void EventQueue::StopDelivery() {
    if (thread_ != nullptr) {
        stop_.store(1);
        event_.Set();
        WaitForThread(thread_);
        DereferenceObject(thread_);
        thread_ = nullptr;
    }
    Drain();
}

void EventQueue::DeliveryRoutine(void* context) { static_cast<EventQueue*>(context)->DeliveryLoop(); }

void EventQueue::DeliveryLoop() {
    Entry* kept = nullptr;  // the message offered last time, whose offer timed out
    for (;;) {
        event_.Wait();
        for (;;) {
            if (stop_.load() != 0) {
                // The message still being offered belongs to nobody else: free it here.
                if (kept != nullptr) {
                    FreeEntry(kept, true);
                }
                return;
            }
            Entry* entry = kept;
            kept = nullptr;
            if (entry == nullptr) {
                ListEntry* links = InterlockedRemoveHeadList(&head_, &lock_);
                if (links == nullptr) {
                    break;  // empty: wait for the next insertion
                }
                entry = reinterpret_cast<Entry*>(links);
            }
            if (entry->kind == kReleaseName) {
                FreeEntry(entry, true);
                continue;
            }
            offers_.fetch_add(1, std::memory_order_relaxed);
            const std::int64_t timeout = kOfferTimeout;
            const NTSTATUS status = SendMessage(clientPortSlot_, entry->item, entry->itemLength, &timeout);
            if (status == STATUS_TIMEOUT) {
                timeouts_.fetch_add(1, std::memory_order_relaxed);
                kept = entry;
                continue;
            }
            (NtSuccess(status) ? delivered_ : dropped_).fetch_add(1, std::memory_order_relaxed);
            FreeEntry(entry, true);
            if (status == STATUS_PORT_DISCONNECTED) {
                break;  // the rest waits for the next insertion (a disconnect drains it anyway)
            }
        }
    }
}

DeliveryCounters EventQueue::Counters() const {
    DeliveryCounters c;
    c.offers = offers_.load();
    c.delivered = delivered_.load();
    c.timeouts = timeouts_.load();
    c.dropped = dropped_.load();
    c.enqueueFailures = enqueueFailures_.load();
    return c;
}

}  // namespace vesk::driver
