#include <gtest/gtest.h>

#include <thread>

#include "testing/client_recorder.h"
#include "testing/engine_fixture.h"

namespace vesk::testing {
namespace {

class Lifecycle : public EngineTest {
  protected:
    bool Initialize() {
        return VeskInitialize(0, &ClientRecorder::Status, &ClientRecorder::File,
                              &ClientRecorder::Process, &recorder_) != 0;
    }
    ClientRecorder recorder_;
};

TEST_F(Lifecycle, SecondInitializeFailsWhileTheFirstKeepsWorking) {
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(VeskGetErrorCode(), 0u);
    EXPECT_FALSE(Initialize());
    EXPECT_EQ(VeskGetErrorCode(), 5023u);
    EnqueueNamed("\\still\\delivered");
    ASSERT_TRUE(Eventually([&] { return recorder_.delivered.load() == 1; }));
    EXPECT_EQ(recorder_.Names(), std::vector<std::string>{"\\still\\delivered"});
    EXPECT_TRUE(VeskUninitialize());
    EXPECT_EQ(VeskGetErrorCode(), 0u);
    EXPECT_FALSE(VeskUninitialize());
    EXPECT_EQ(VeskGetErrorCode(), 5023u);
}

TEST_F(Lifecycle, UninitializeWithoutInitializeFails) {
    EXPECT_FALSE(VeskUninitialize());
    EXPECT_EQ(VeskGetErrorCode(), 5023u);
}

TEST_F(Lifecycle, InitializeWithoutDriverLeavesNothingBehindAndALaterOneSucceeds) {
    StopServer();
    const int threads = CountThreads();
    const int descriptors = CountDescriptors();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_FALSE(Initialize());
        EXPECT_EQ(VeskGetErrorCode(), 2u) << "no port: file not found";
    }
    EXPECT_EQ(CountThreads(), threads);
    EXPECT_EQ(CountDescriptors(), descriptors);
    EXPECT_TRUE(recorder_.Events(VeskEventThreadStart).empty()) << "no thread ever ran";
    StartServer();
    ASSERT_TRUE(Initialize());
    EXPECT_TRUE(VeskUninitialize());
}

TEST_F(Lifecycle, DispatchThreadStartsAndStopsWithTheArgumentTheClientChose) {
    ClientRecorder other;
    recorder_.startArgument = &other;
    ASSERT_TRUE(Initialize());
    EnqueueNamed("\\a");
    ASSERT_TRUE(Eventually([&] { return other.delivered.load() == 1; }));
    EXPECT_EQ(recorder_.delivered.load(), 0) << "callbacks get the argument set at the start";
    ASSERT_TRUE(VeskUninitialize());
    const auto starts = recorder_.Events(VeskEventThreadStart);
    const auto stops = recorder_.Events(VeskEventThreadStop);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].value, 0u);
    EXPECT_EQ(stops[0].parameter, reinterpret_cast<std::uintptr_t>(&other));
}

TEST_F(Lifecycle, NoCallbacksAtAll) {
    ASSERT_TRUE(VeskInitialize(0, nullptr, nullptr, nullptr, nullptr));
    for (int i = 0; i < 20; ++i) {
        EnqueueNamed("\\dropped");
    }
    // The driver hands every record over; the library copies and drops them.
    EXPECT_TRUE(Eventually([&] { return driver_->queue.Counters().delivered == 20; }));
    EXPECT_TRUE(VeskUninitialize());
}

TEST_F(Lifecycle, RecordsNotYetDeliveredAreDiscardedByUninitialize) {
    static std::atomic<bool> release{false};
    static std::atomic<int> calls{0};
    release = false;
    calls = 0;
    auto blocking = [](void*, const VeskNotification*, const VeskOperationData*) {
        ++calls;
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    ASSERT_TRUE(VeskInitialize(0, nullptr, blocking, nullptr, nullptr));
    for (int i = 0; i < 10; ++i) {
        EnqueueNamed("\\queued");
    }
    ASSERT_TRUE(Eventually([&] { return calls.load() == 1; }));
    ASSERT_TRUE(Eventually([&] { return driver_->queue.Counters().delivered == 10; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the receiver queues them
    std::thread stopper([] { EXPECT_TRUE(VeskUninitialize()); });
    // The driver sees the client leave once the library is stopping.
    ASSERT_TRUE(Eventually([&] { return !driver_->connection.HasClient(); }));
    release = true;
    stopper.join();
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace vesk::testing
