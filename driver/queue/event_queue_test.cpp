#include "event_queue.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/pool_tags.h"
#include "message/notification_builder.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool_accounting.h"
#include "testing/control_messages.h"
#include "testing/driver_harness.h"
#include "testing/wire_reader.h"

namespace {

using namespace kernel;
using vesk::testing::MessageBuilder;
using vesk::testing::ParseReceived;
using vesk::testing::U16;
namespace wire = vesk::wire;

class EventQueueTest : public vesk::testing::DriverHarnessTest {
protected:
    std::u16string NameOf(const std::vector<std::uint8_t>& received) {
        auto parsed = ParseReceived(received);
        EXPECT_TRUE(parsed);
        return parsed ? parsed->name : u"";
    }

    template <typename Pred>
    bool WaitFor(Pred pred) {
        for (int i = 0; i < 5000 && !pred(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return pred();
    }
};

TEST_F(EventQueueTest, DeliversInTheOrderQueued) {
    auto client = ConnectDefault();
    EnqueueFlush("\\Device\\V\\first");
    EnqueueFlush("\\Device\\V\\second");
    EnqueueFlush("\\Device\\V\\third");
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\first"));
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\second"));
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\third"));
    EXPECT_TRUE(Receive(*client, 1).empty());
    EXPECT_EQ(driver_->queue.Counters().delivered, 3u);
}

TEST_F(EventQueueTest, AnUntakenMessageIsOfferedAgainEveryTenSeconds) {
    auto client = ConnectDefault();
    EnqueueFlush("\\Device\\V\\waiting");
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().offers == 1; }));
    sim::SimClock::AdvanceSeconds(9);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(driver_->queue.Counters().timeouts, 0u) << "nine seconds are not enough";
    sim::SimClock::AdvanceSeconds(1);
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().offers == 2; }));
    EXPECT_EQ(driver_->queue.Counters().timeouts, 1u);
    // The queue keeps growing behind the message being offered.
    EnqueueFlush("\\Device\\V\\behind");
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\waiting"));
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\behind"));
    EXPECT_EQ(driver_->queue.Counters().delivered, 2u);
}

TEST_F(EventQueueTest, DeactivateEmptiesTheQueueAndKeepsTheStatistics) {
    auto client = ConnectDefault();
    ASSERT_EQ(Send(*client, MessageBuilder(wire::VeskCmdActivate).Build()), STATUS_SUCCESS);
    driver_->statistics.CountOperation(wire::VeskOpWrite, STATUS_SUCCESS, 42);
    EnqueueFlush("\\Device\\V\\offered");
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().offers == 1; }));
    EnqueueFlush("\\Device\\V\\queued1");
    EnqueueFlush("\\Device\\V\\queued2");
    ASSERT_EQ(Send(*client, MessageBuilder(wire::VeskCmdDeactivate).Build()), STATUS_SUCCESS);
    EXPECT_EQ(QueryPoolTag(vesk::driver::kTagQueueEntry).Outstanding(), 1u)
        << "only the message being offered is left";
    // That one is still offered to the connected client; nothing queued behind it survived.
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\offered"));
    EXPECT_TRUE(Receive(*client, 1).empty());
    std::vector<std::uint8_t> stats(88);
    ASSERT_EQ(Send(*client, MessageBuilder(wire::VeskCmdGetStatistics).Build(), &stats),
              STATUS_SUCCESS);
    std::uint64_t written = 0;
    std::memcpy(&written, stats.data() + 56, 8);
    EXPECT_EQ(written, 42u);
}

TEST_F(EventQueueTest, NameReleasesNeverReachTheClient) {
    auto client = ConnectDefault();
    FileNameInformation* name = CreateFileNameInformation(u"\\Device\\V\\n", 11, 9);
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(driver_->queue.EnqueueNameRelease(name), STATUS_SUCCESS);
    EnqueueFlush("\\Device\\V\\after");
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\after"));
    EXPECT_TRUE(WaitFor([] { return LiveFileNameInformationRecords() == 0; }));
}

TEST_F(EventQueueTest, DrainAtDispatchLevelDefersNameReleasesToTheDeliveryThread) {
    vesk::driver::EventQueue queue;  // no delivery thread yet
    FileNameInformation* name = CreateFileNameInformation(u"\\Device\\V\\n", 11, 9);
    ASSERT_EQ(queue.EnqueueNameRelease(name), STATUS_SUCCESS);
    const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
    queue.Drain();  // releasing here would be a bug check; it is queued again instead
    LowerIrql(old);
    EXPECT_EQ(LiveFileNameInformationRecords(), 1);
    EXPECT_EQ(QueryPoolTag(vesk::driver::kTagQueueEntry).Outstanding(), 1u);
    queue.Drain();  // at passive level it is released
    EXPECT_EQ(LiveFileNameInformationRecords(), 0);
}

TEST_F(EventQueueTest, NoEntryMemoryLosesOnlyThatNotification) {
    auto client = ConnectDefault();
    FailNthPoolAllocation(vesk::driver::kTagQueueEntry, 1);
    std::u16string text = U16("\\Device\\V\\lost");
    UnicodeString counted{static_cast<std::uint16_t>(text.size() * 2),
                          static_cast<std::uint16_t>(text.size() * 2), text.data()};
    vesk::driver::MessageParameters p;
    p.actingThread = testThread_;
    p.name = &counted;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpFlush;
    vesk::driver::BuiltMessage built;
    ASSERT_EQ(vesk::driver::BuildMessage(p, &built), STATUS_SUCCESS);
    EXPECT_EQ(driver_->queue.EnqueueMessage(built.message, built.totalLength),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(driver_->queue.Counters().enqueueFailures, 1u);
    EnqueueFlush("\\Device\\V\\kept");
    EXPECT_EQ(NameOf(Receive(*client)), U16("\\Device\\V\\kept"));
}

TEST_F(EventQueueTest, MessagesForAClientThatLeftAreDroppedNotResent) {
    auto client = ConnectDefault();
    EnqueueFlush("\\Device\\V\\offered");
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().offers == 1; }));
    client.reset();
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().dropped == 1; }));
    auto next = ConnectDefault();
    EnqueueFlush("\\Device\\V\\fresh");
    EXPECT_EQ(NameOf(Receive(*next)), U16("\\Device\\V\\fresh"));
}

TEST_F(EventQueueTest, StoppingWhileAMessageWaitsForItsRetryFreesIt) {
    auto client = ConnectDefault();
    EnqueueFlush("\\Device\\V\\kept-by-the-thread");
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().offers == 1; }));
    sim::SimClock::AdvanceSeconds(10);
    ASSERT_TRUE(WaitFor([&] { return driver_->queue.Counters().timeouts == 1; }));
    // The fixture stops delivery now; the message kept for its next offer must not leak.
}

}  // namespace
