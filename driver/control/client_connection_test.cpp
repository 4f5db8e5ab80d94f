#include "client_connection.h"

#include <gtest/gtest.h>

#include "testing/control_messages.h"
#include "testing/driver_harness.h"

namespace {

using namespace kernel;
using vesk::testing::ContextBytes;
namespace wire = vesk::wire;

class ClientConnectionTest : public vesk::testing::DriverHarnessTest {};

TEST_F(ClientConnectionTest, ContextSetsOptionsCategoriesAndExcludedThreads) {
    Thread* other = sim::World::CreateThread(testProcess_, 1500);
    std::unique_ptr<PortConnection> client;
    ASSERT_EQ(Connect(ContextBytes(0x3, 0x2, kTestThreadId, 1500), &client), STATUS_SUCCESS);
    const auto& c = driver_->connection;
    EXPECT_TRUE(c.HasClient());
    EXPECT_FALSE(c.IsActive()) << "capture waits for the activate command";
    EXPECT_EQ(c.Options(), 0x3u);
    EXPECT_EQ(c.Categories(), 0x2u);
    EXPECT_TRUE(c.IsExcludedThread(testThread_));
    EXPECT_TRUE(c.IsExcludedThread(other));
    EXPECT_FALSE(c.IsExcludedThread(sim::World::CreateThread(testProcess_)));
    EXPECT_EQ(sim::World::ExtraReferences(other), 1);

    client.reset();  // disconnect: references given back, options cleared
    EXPECT_FALSE(c.HasClient());
    EXPECT_EQ(c.Options(), 0u);
    EXPECT_EQ(c.Categories(), 0u);
    EXPECT_FALSE(c.IsExcludedThread(other));
    EXPECT_EQ(sim::World::ExtraReferences(other), 0);
}

TEST_F(ClientConnectionTest, ConnectRules) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> context;
        NTSTATUS expected;
    };
    const auto sixteen = ContextBytes(0, 1, kTestThreadId, kTestThreadId);
    const Case cases[] = {
        {"no context", {}, STATUS_SUCCESS},
        {"16 bytes", sixteen, STATUS_SUCCESS},
        {"12 bytes", std::vector<std::uint8_t>(sixteen.begin(), sixteen.begin() + 12),
         STATUS_INVALID_MESSAGE},
        {"17 bytes", [&] {
             auto v = sixteen;
             v.push_back(0);
             return v;
         }(),
         STATUS_INVALID_MESSAGE},
        {"first thread unknown", ContextBytes(0, 1, 4242, kTestThreadId), STATUS_INVALID_PARAMETER},
        {"second thread 0", ContextBytes(0, 1, kTestThreadId, 0), STATUS_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<PortConnection> client;
        EXPECT_EQ(Connect(c.context, &client), c.expected);
        EXPECT_EQ(driver_->connection.HasClient(), NtSuccess(c.expected));
        // A refused second thread drops the reference taken for the first.
        EXPECT_EQ(sim::World::ExtraReferences(testThread_), NtSuccess(c.expected) && !c.context.empty() ? 2 : 0);
    }
}

TEST_F(ClientConnectionTest, SecondClientIsRefusedWhileTheFirstStays) {
    auto first = ConnectDefault();
    std::unique_ptr<PortConnection> second;
    EXPECT_EQ(Connect({}, &second), STATUS_PORT_CONNECTION_REFUSED);
    EXPECT_TRUE(driver_->connection.HasClient());
    std::vector<std::uint8_t> stats(88);
    EXPECT_EQ(Send(*first, vesk::testing::MessageBuilder(wire::VeskCmdGetStatistics).Build(), &stats),
              STATUS_SUCCESS);
}

TEST_F(ClientConnectionTest, ConnectingWithoutAContextLeavesTheOptionsAsTheyAre) {
    // Straight at the connection object: a context sets options and categories, a context-free
    // connect (a client that only sends commands) leaves them alone.
    vesk::driver::EventQueue queue;
    vesk::driver::ClientConnection connection(queue);
    const auto context = ContextBytes(0x2, 0x1, kTestThreadId, kTestThreadId);
    ASSERT_EQ(connection.Connect(nullptr, context.data(), 16), STATUS_SUCCESS);
    ASSERT_EQ(connection.Connect(nullptr, nullptr, 0), STATUS_SUCCESS);
    EXPECT_EQ(connection.Options(), 0x2u);
    EXPECT_EQ(connection.Categories(), 0x1u);
    EXPECT_TRUE(connection.IsExcludedThread(testThread_));
    connection.Shutdown();
    EXPECT_EQ(sim::World::ExtraReferences(testThread_), 0);
}

TEST_F(ClientConnectionTest, DisconnectDiscardsEveryQueuedNotification) {
    auto client = ConnectDefault();
    // Nobody receives: the first message is being offered, the others wait in the queue.
    EnqueueFlush("\\Device\\V\\1");
    EnqueueFlush("\\Device\\V\\2");
    EnqueueFlush("\\Device\\V\\3");
    client.reset();
    EXPECT_FALSE(driver_->connection.HasClient());
    // The fixture's tear-down proves every message and entry was freed.
}

}  // namespace
