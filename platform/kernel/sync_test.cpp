#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kernel_test.h"
#include "platform/kernel/event.h"
#include "platform/kernel/fast_mutex.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/list.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/system_time.h"

namespace {

using namespace kernel;

class SyncTest : public sim::KernelTest {};

constexpr NTSTATUS kStillWaiting = 0x103;

TEST_F(SyncTest, SpinLockRaisesToDispatchAndRestores) {
    SpinLock lock;
    {
        SpinLockGuard guard(lock);
        EXPECT_EQ(CurrentIrql(), DISPATCH_LEVEL);
    }
    EXPECT_EQ(CurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(SyncTest, FastMutexRaisesToApc) {
    FastMutex mutex;
    {
        FastMutexGuard guard(mutex);
        EXPECT_EQ(CurrentIrql(), APC_LEVEL);
    }
    EXPECT_EQ(CurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(SyncTest, SynchronizationEventReleasesOneWaitAndResets) {
    Event event(EventType::Synchronization, false);
    event.Set();
    EXPECT_EQ(event.Wait(), STATUS_SUCCESS);
    EXPECT_FALSE(event.IsSignalled());
    const std::int64_t immediately = 0;
    EXPECT_EQ(event.Wait(&immediately), STATUS_TIMEOUT);
}

TEST_F(SyncTest, NotificationEventStaysSignalled) {
    Event event(EventType::Notification, false);
    event.Set();
    EXPECT_EQ(event.Wait(), STATUS_SUCCESS);
    EXPECT_EQ(event.Wait(), STATUS_SUCCESS);
    event.Reset();
    EXPECT_FALSE(event.IsSignalled());
}

TEST_F(SyncTest, TimedWaitEndsWhenSimulatedTimePasses) {
    Event event(EventType::Synchronization, false);
    std::atomic<NTSTATUS> result{kStillWaiting};
    std::thread waiter([&] {
        const std::int64_t tenSeconds = RelativeTimeout(10 * kHundredNsPerSecond);
        result = event.Wait(&tenSeconds);
    });
    // Real time passes, simulated time does not: the wait must still be going.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(result.load(), kStillWaiting);
    sim::SimClock::AdvanceSeconds(10);
    EXPECT_TRUE(sim::SimClock::AdvanceUntil([&] { return result.load() != kStillWaiting; },
                                            kHundredNsPerSecond));
    waiter.join();
    EXPECT_EQ(result.load(), STATUS_TIMEOUT);
}

TEST_F(SyncTest, InterlockedListKeepsInsertionOrder) {
    SpinLock lock;
    ListEntry head;
    InitializeListHead(&head);
    ListEntry a, b, c;
    InterlockedInsertTailList(&head, &a, &lock);
    InterlockedInsertTailList(&head, &b, &lock);
    InterlockedInsertTailList(&head, &c, &lock);
    EXPECT_EQ(InterlockedRemoveHeadList(&head, &lock), &a);
    EXPECT_EQ(InterlockedRemoveHeadList(&head, &lock), &b);
    EXPECT_EQ(InterlockedRemoveHeadList(&head, &lock), &c);
    EXPECT_EQ(InterlockedRemoveHeadList(&head, &lock), nullptr);
    EXPECT_TRUE(IsListEmpty(&head));
}

}  // namespace
