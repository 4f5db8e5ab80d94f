#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <thread>

#include "testing/client_recorder.h"
#include "testing/engine_fixture.h"

extern char** environ;

namespace vesk::testing {
namespace {

class Delivery : public EngineTest {
  protected:
    bool Initialize(std::uint32_t mode = 0) {
        return VeskInitialize(mode, &ClientRecorder::Status, &ClientRecorder::File,
                              &ClientRecorder::Process, &recorder_) != 0;
    }
    ClientRecorder recorder_;
};

TEST_F(Delivery, EveryNotificationOnceInOrderOnTheOneDispatchThread) {
    ASSERT_TRUE(Initialize());
    constexpr int kCount = 3000;
    std::thread producer([&] {
        sim::World::SetCurrentThread(testThread_);
        for (int i = 0; i < kCount; ++i) {
            EnqueueNamed("\\n" + std::to_string(i));
        }
    });
    producer.join();
    ASSERT_TRUE(Eventually([&] { return recorder_.delivered.load() == kCount; }));
    const auto names = recorder_.Names();
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(names[i], "\\n" + std::to_string(i));
    }
    std::lock_guard lock(recorder_.mutex);
    const std::set<std::thread::id> threads(recorder_.threads.begin(), recorder_.threads.end());
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(Delivery, CategoriesChooseTheCallbackAndOthersAreDropped) {
    ASSERT_TRUE(Initialize());
    Enqueue(3, wire::VeskOpFlush, "\\category3");
    std::vector<std::uint8_t> process(8, 0);
    Enqueue(wire::VeskCategoryProcess, 0, "/usr/bin/true", process);
    EnqueueNamed("\\file");
    ASSERT_TRUE(Eventually([&] { return recorder_.delivered.load() == 2; }));
    EXPECT_EQ(recorder_.Names(), std::vector<std::string>{"\\file"});
    std::lock_guard lock(recorder_.mutex);
    EXPECT_EQ(recorder_.processNames, std::vector<std::string>{"/usr/bin/true"});
}

TEST_F(Delivery, AMessageLargerThanTheInitialBufferGrowsIt) {
    static std::vector<std::uint8_t> seen;
    seen.clear();
    auto keepData = [](void* argument, const VeskNotification* n, const VeskOperationData* d) {
        if (n->Operation == wire::VeskOpWrite && d->Transfer.Data != nullptr) {
            seen.assign(d->Transfer.Data, d->Transfer.Data + d->Transfer.Length);
        }
        ClientRecorder::File(argument, n, d);
    };
    ASSERT_TRUE(VeskInitialize(0, &ClientRecorder::Status, keepData, nullptr, &recorder_));
    constexpr std::uint32_t kData = 200'000;
    wire::TransferPayload t{
        0, kData, 0, kData, wire::VeskTransferRequest, wire::VeskTransferHasData};
    std::vector<std::uint8_t> payload(sizeof t + kData);
    std::memcpy(payload.data(), &t, sizeof t);
    for (std::uint32_t i = 0; i < kData; ++i) {
        payload[sizeof t + i] = static_cast<std::uint8_t>(i * 7);
    }
    Enqueue(wire::VeskCategoryFileSystem, wire::VeskOpWrite, "\\big", payload);
    EnqueueNamed("\\after");
    ASSERT_TRUE(Eventually([&] { return recorder_.delivered.load() == 2; }));
    EXPECT_EQ(recorder_.Names(), (std::vector<std::string>{"\\big", "\\after"}));
    ASSERT_EQ(seen.size(), kData);
    EXPECT_TRUE(std::equal(seen.begin(), seen.end(), payload.begin() + sizeof t));
    EXPECT_TRUE(recorder_.Events(VeskEventReceiveError).empty());
}

// Damaged messages: the status callback hears of each, and its answer decides whether the
// receiver goes on.
TEST_F(Delivery, ReceiveErrorAndTheStatusCallbacksAnswer) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> message;
        std::uint32_t error;
    };
    std::vector<std::uint8_t> shortMessage(40, 0);
    std::vector<std::uint8_t> overlong(100, 0);
    const std::uint32_t claimed = 500;
    std::memcpy(overlong.data() + 8, &claimed, 4);
    const Case cases[] = {{"fewer than 80 bytes", shortMessage, 232},
                          {"length field beyond what arrived", overlong, 1359}};
    for (const Case& c : cases) {
        for (VeskBool answer : {1, 0}) {
            SCOPED_TRACE(std::string(c.what) + (answer ? ", keep receiving" : ", stop"));
            ClientRecorder recorder;
            recorder.receiveErrorAnswer = answer;
            ASSERT_TRUE(VeskInitialize(0, &ClientRecorder::Status, &ClientRecorder::File, nullptr,
                                       &recorder))
                << VeskGetErrorCode();
            EnqueueRaw(c.message);
            EnqueueNamed("\\next");
            ASSERT_TRUE(
                Eventually([&] { return !recorder.Events(VeskEventReceiveError).empty(); }));
            const auto errors = recorder.Events(VeskEventReceiveError);
            EXPECT_EQ(errors[0].value, c.error);
            EXPECT_EQ(errors[0].parameter, 1u);
            if (answer) {
                EXPECT_TRUE(Eventually([&] { return recorder.delivered.load() == 1; }));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                EXPECT_EQ(recorder.delivered.load(), 0) << "the receiver ended";
            }
            EXPECT_TRUE(VeskUninitialize());
        }
    }
}

TEST_F(Delivery, ThePortGoingAwayIsReported) {
    ASSERT_TRUE(Initialize());
    StopServer();
    ASSERT_TRUE(Eventually([&] { return !recorder_.Events(VeskEventPortFailed).empty(); }));
    EXPECT_EQ(recorder_.Events(VeskEventPortFailed)[0].value, 6u);
    EXPECT_TRUE(VeskUninitialize());
}

TEST_F(Delivery, RequestsFromInsideACallback) {
    static std::atomic<int> answered{0};
    static std::atomic<std::uint64_t> startTime{0};
    answered = 0;
    auto asking = [](void*, const VeskNotification* n, const VeskOperationData*) {
        VeskStatistics statistics{};
        if (VeskGetStatistics(&statistics)) {
            startTime = statistics.StartTime;
            ++answered;
        }
        VeskName name{};
        if (VeskGetName(n, VeskNameAskDriver, &name)) {
            ++answered;
        }
        VeskFreeName(&name);
    };
    names_.Answer(u"C:\\x", u"", 0);
    ASSERT_TRUE(VeskInitialize(0, nullptr, asking, nullptr, nullptr));
    ASSERT_TRUE(VeskActivate());
    for (int i = 0; i < 5; ++i) {
        EnqueueNamed("\\Device\\V\\x");
    }
    ASSERT_TRUE(Eventually([&] { return answered.load() == 10; }));
    EXPECT_NE(startTime.load(), 0u);
}

// A client in another process holds the driver's only connection: this process's requests and
// initialisation are refused, and what it receives is what crossed the socket.
TEST_F(Delivery, AnotherProcessHoldsTheConnection) {
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    char* argv[] = {const_cast<char*>(VESK_TEST_CLIENT), const_cast<char*>("hold"), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, VESK_TEST_CLIENT, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    FILE* output = fdopen(fromChild[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, output), nullptr);
    EXPECT_STREQ(line, "ready 0\n");

    EXPECT_FALSE(VeskActivate());
    EXPECT_EQ(VeskGetErrorCode(), 5u) << "the connection is refused";
    EXPECT_FALSE(Initialize());
    EXPECT_EQ(VeskGetErrorCode(), 5u);

    EnqueueNamed("\\to\\the\\other\\process");
    ASSERT_NE(std::fgets(line, sizeof line, output), nullptr);
    EXPECT_STREQ(line, "\\to\\the\\other\\process\n");

    close(toChild[1]);  // the client uninitialises and ends
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    fclose(output);
    ASSERT_TRUE(Eventually([&] { return !driver_->connection.HasClient(); }));
    EXPECT_TRUE(VeskActivate()) << "free again: a temporary connection works";
}

}  // namespace
}  // namespace vesk::testing
