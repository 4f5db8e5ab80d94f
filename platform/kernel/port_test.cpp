#include "platform/kernel/port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "kernel_test.h"
#include "platform/kernel/port_client.h"
#include "platform/kernel/system_time.h"

namespace {

using namespace kernel;

// A filter side that accepts one client, echoes control messages and counts its callbacks.
struct EchoFilter {
    ServerPort* server = nullptr;
    ClientPortSlot client{nullptr};
    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};

    static NTSTATUS Connect(void* cookie, ClientPort* port, const void*, std::uint32_t) {
        auto* self = static_cast<EchoFilter*>(cookie);
        ++self->connects;
        if (self->client.load() != nullptr) {
            return STATUS_PORT_CONNECTION_REFUSED;
        }
        self->client = port;
        return STATUS_SUCCESS;
    }
    static void Disconnect(void* cookie, ClientPort*) {
        auto* self = static_cast<EchoFilter*>(cookie);
        ++self->disconnects;
        CloseClientPort(&self->client);
    }
    static NTSTATUS Message(void*, const void* in, std::uint32_t inLength, void* out,
                            std::uint32_t outLength, std::uint32_t* reply) {
        const std::uint32_t n = std::min(inLength, outLength);
        if (n != 0) {
            std::memcpy(out, in, n);
        }
        *reply = n;
        return STATUS_SUCCESS;
    }
};

class PortTest : public sim::KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        const PortCallbacks callbacks{&EchoFilter::Connect, &EchoFilter::Disconnect,
                                      &EchoFilter::Message};
        ASSERT_EQ(CreateCommunicationPort("\\TestPort", &filter_, callbacks, 1, &filter_.server),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        CloseClientPort(&filter_.client);
        CloseCommunicationPort(filter_.server);
        KernelTest::TearDown();
    }

    std::unique_ptr<PortConnection> Connect() {
        std::unique_ptr<PortConnection> connection;
        EXPECT_EQ(ConnectCommunicationPort("\\TestPort", nullptr, 0, &connection), STATUS_SUCCESS);
        return connection;
    }

    EchoFilter filter_;
};

TEST_F(PortTest, ControlMessageIsAnsweredInTheSendersThread) {
    auto connection = Connect();
    const char request[] = "ping";
    char reply[8] = {};
    std::uint32_t returned = 0;
    EXPECT_EQ(connection->SendMessage(request, 4, reply, sizeof reply, &returned), STATUS_SUCCESS);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(std::string(reply, 4), "ping");
}

TEST_F(PortTest, UnknownNameAndSecondPortNameAreRefused) {
    std::unique_ptr<PortConnection> connection;
    EXPECT_EQ(ConnectCommunicationPort("\\Nope", nullptr, 0, &connection),
              STATUS_OBJECT_NAME_NOT_FOUND);
    ServerPort* second = nullptr;
    const PortCallbacks callbacks{&EchoFilter::Connect, &EchoFilter::Disconnect,
                                  &EchoFilter::Message};
    EXPECT_EQ(CreateCommunicationPort("\\TestPort", &filter_, callbacks, 1, &second),
              STATUS_OBJECT_NAME_COLLISION);
    // The refused second port is not listed; the open one is, once, under its full name.
    EXPECT_EQ(ServerPortNames(), std::vector<std::string>{"\\TestPort"});
}

TEST_F(PortTest, RefusedConnectionReturnsTheFiltersStatus) {
    auto first = Connect();
    std::unique_ptr<PortConnection> second;
    EXPECT_EQ(ConnectCommunicationPort("\\TestPort", nullptr, 0, &second),
              STATUS_PORT_CONNECTION_REFUSED);
    EXPECT_EQ(second, nullptr);
}

TEST_F(PortTest, NotificationWaitsForAReceiveAndCarriesTheHeader) {
    auto connection = Connect();
    std::vector<std::uint8_t> buffer(64);
    std::uint32_t received = 0;
    NTSTATUS getStatus = STATUS_UNSUCCESSFUL;
    std::thread receiver([&] {
        getStatus = connection->GetMessage(buffer.data(), 64, &received, nullptr);
    });
    const std::uint8_t payload[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(SendMessage(&filter_.client, payload, 5, nullptr), STATUS_SUCCESS);
    receiver.join();
    EXPECT_EQ(getStatus, STATUS_SUCCESS);
    ASSERT_EQ(received, kPortMessageHeaderSize + 5);
    EXPECT_EQ(std::memcmp(buffer.data() + kPortMessageHeaderSize, payload, 5), 0);
    std::uint64_t id = 0;
    std::memcpy(&id, buffer.data() + 8, 8);
    EXPECT_EQ(id, 1u);
}

TEST_F(PortTest, SendTimesOutInSimulatedTimeWhenNobodyReceives) {
    auto connection = Connect();
    std::atomic<NTSTATUS> status{0x103};
    std::thread sender([&] {
        const std::int64_t timeout = RelativeTimeout(10 * kHundredNsPerSecond);
        const std::uint8_t byte = 7;
        status = SendMessage(&filter_.client, &byte, 1, &timeout);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(status.load(), 0x103);
    sim::SimClock::AdvanceSeconds(10);
    EXPECT_TRUE(sim::SimClock::AdvanceUntil([&] { return status.load() != 0x103; },
                                            kHundredNsPerSecond));
    sender.join();
    EXPECT_EQ(status.load(), STATUS_TIMEOUT);
}

TEST_F(PortTest, TooSmallReceiveLearnsTheSizeAndTheMessageStaysForTheNextOne) {
    auto connection = Connect();
    std::vector<std::uint8_t> payload(100, 0xAB);
    std::atomic<NTSTATUS> sendStatus{0x103};
    std::thread sender([&] { sendStatus = SendMessage(&filter_.client, payload.data(), 100, nullptr); });
    std::vector<std::uint8_t> small(50);
    std::uint32_t received = 0;
    EXPECT_EQ(connection->GetMessage(small.data(), 50, &received, nullptr), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(received, kPortMessageHeaderSize + 100);
    std::vector<std::uint8_t> large(received);
    EXPECT_EQ(connection->GetMessage(large.data(), received, &received, nullptr), STATUS_SUCCESS);
    sender.join();
    EXPECT_EQ(sendStatus.load(), STATUS_SUCCESS);
    EXPECT_EQ(large[kPortMessageHeaderSize + 99], 0xAB);
}

TEST_F(PortTest, ClientDisconnectEndsTheSendAndCallsTheFilterOnce) {
    auto connection = Connect();
    std::atomic<NTSTATUS> status{0x103};
    std::thread sender([&] {
        const std::uint8_t byte = 1;
        status = SendMessage(&filter_.client, &byte, 1, nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    connection->Disconnect();
    sender.join();
    EXPECT_EQ(status.load(), STATUS_PORT_DISCONNECTED);
    EXPECT_EQ(filter_.disconnects.load(), 1);
    EXPECT_EQ(filter_.client.load(), nullptr);
    connection.reset();
    EXPECT_EQ(filter_.disconnects.load(), 1);
}

TEST_F(PortTest, FilterClosingTheClientPortEndsReceivesWithoutADisconnectCallback) {
    auto connection = Connect();
    std::atomic<NTSTATUS> status{0x103};
    std::thread receiver([&] {
        std::uint8_t buffer[32];
        std::uint32_t received = 0;
        status = connection->GetMessage(buffer, sizeof buffer, &received, nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CloseClientPort(&filter_.client);
    receiver.join();
    EXPECT_EQ(status.load(), STATUS_PORT_DISCONNECTED);
    std::uint32_t returned = 0;
    EXPECT_EQ(connection->SendMessage("x", 1, nullptr, 0, &returned), STATUS_PORT_DISCONNECTED);
    connection.reset();
    EXPECT_EQ(filter_.disconnects.load(), 0);
    EXPECT_EQ(SendMessage(&filter_.client, "x", 1, nullptr), STATUS_PORT_DISCONNECTED);
}

TEST_F(PortTest, ReceiveTimesOutInSimulatedTime) {
    auto connection = Connect();
    std::atomic<NTSTATUS> status{0x103};
    std::thread receiver([&] {
        std::uint8_t buffer[32];
        std::uint32_t received = 0;
        const std::int64_t timeout = RelativeTimeout(kHundredNsPerSecond);
        status = connection->GetMessage(buffer, sizeof buffer, &received, &timeout);
    });
    EXPECT_TRUE(sim::SimClock::AdvanceUntil([&] { return status.load() != 0x103; },
                                            kHundredNsPerSecond));
    receiver.join();
    EXPECT_EQ(status.load(), STATUS_TIMEOUT);
}

}  // namespace
