#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "frames.h"
#include "kernel_test.h"
#include "platform/kernel/port.h"
#include "platform/kernel/port_client.h"
#include "port_socket_client.h"
#include "port_socket_server.h"
#include "run_directory.h"

namespace {

using namespace kernel;
using port_socket::PortSocketClient;
using port_socket::PortSocketServer;

constexpr const char* kPortName = "\\SocketTestPort";

// A filter that accepts one client at a time. Its message callback answers "reverse" messages
// with the input reversed, and "needs" messages like a name resolution whose names do not fit:
// STATUS_BUFFER_TOO_SMALL with the needed lengths after the offered capacities it read.
struct Filter {
    ServerPort* server = nullptr;
    ClientPortSlot client{nullptr};
    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    std::vector<std::uint8_t> lastContext;

    static NTSTATUS Connect(void* cookie, ClientPort* port, const void* context,
                            std::uint32_t length) {
        auto* self = static_cast<Filter*>(cookie);
        ++self->connects;
        if (self->client.load() != nullptr) {
            return STATUS_PORT_CONNECTION_REFUSED;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(context);
        self->lastContext.assign(bytes, bytes + length);
        self->client = port;
        return STATUS_SUCCESS;
    }
    static void Disconnect(void* cookie, ClientPort*) {
        auto* self = static_cast<Filter*>(cookie);
        ++self->disconnects;
        CloseClientPort(&self->client);
    }
    static NTSTATUS Message(void*, const void* in, std::uint32_t inLength, void* out,
                            std::uint32_t outLength, std::uint32_t* reply) {
        const auto* input = static_cast<const std::uint8_t*>(in);
        auto* output = static_cast<std::uint8_t*>(out);
        if (inLength >= 5 && std::memcmp(input, "needs", 5) == 0) {
            std::uint16_t offered[2];
            std::memcpy(offered, output + 4, 4);
            const std::uint16_t needed[2] = {static_cast<std::uint16_t>(offered[0] + 10),
                                             static_cast<std::uint16_t>(offered[1] + 20)};
            std::memcpy(output + 4, needed, 4);
            return STATUS_BUFFER_TOO_SMALL;
        }
        const std::uint32_t n = std::min(inLength, outLength);
        for (std::uint32_t i = 0; i < n; ++i) {
            output[i] = input[inLength - 1 - i];
        }
        *reply = n;
        return STATUS_SUCCESS;
    }
};

class PortSocketTest : public sim::KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        char root[] = "/tmp/vesk-port-XXXXXX";
        ASSERT_NE(mkdtemp(root), nullptr);
        root_ = root;
        setenv("VESK_ROOT", root_.c_str(), 1);
        const PortCallbacks callbacks{&Filter::Connect, &Filter::Disconnect, &Filter::Message};
        ASSERT_EQ(CreateCommunicationPort(kPortName, &filter_, callbacks, 1, &filter_.server),
                  STATUS_SUCCESS);
        StartServer({});
    }
    void TearDown() override {
        server_.reset();
        CloseClientPort(&filter_.client);
        CloseCommunicationPort(filter_.server);
        std::system(("rm -rf " + root_).c_str());
        KernelTest::TearDown();
    }

    void StartServer(const port_socket::ServerOptions& options) {
        server_.reset();
        ASSERT_EQ(PortSocketServer::Start(kPortName, options, &server_), STATUS_SUCCESS);
    }

    std::unique_ptr<PortSocketClient> Connect(port_socket::ReceiveWindow window = {},
                                              const std::vector<std::uint8_t>& context = {}) {
        std::unique_ptr<PortSocketClient> client;
        EXPECT_EQ(PortSocketClient::Connect(
                      server_->SocketPath(), context.empty() ? nullptr : context.data(),
                      static_cast<std::uint16_t>(context.size()), window, &client),
                  STATUS_SUCCESS);
        return client;
    }

    // The filter's send, waiting up to seconds of simulated time.
    NTSTATUS Notify(const std::vector<std::uint8_t>& message, std::int64_t seconds = 3600) {
        const std::int64_t timeout = -seconds * 10'000'000;
        return SendMessage(&filter_.client, message.data(),
                           static_cast<std::uint32_t>(message.size()), &timeout);
    }

    template <typename Done>
    static bool WaitReal(Done done) {
        for (int i = 0; i < 5000 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    std::string root_;
    Filter filter_;
    std::unique_ptr<PortSocketServer> server_;
};

std::vector<std::uint8_t> Numbered(std::uint32_t n, std::size_t size) {
    std::vector<std::uint8_t> message(size, static_cast<std::uint8_t>(n));
    std::memcpy(message.data(), &n, sizeof n);
    return message;
}

TEST_F(PortSocketTest, SocketLivesInTheRunDirectoryOfVeskRoot) {
    EXPECT_EQ(server_->SocketPath(), root_ + "/run/SocketTestPort.sock");
    EXPECT_EQ(port_socket::SocketPathForPort("\\TallowmereVeskPort"),
              root_ + "/run/TallowmereVeskPort.sock");
    struct stat st {};
    ASSERT_EQ(stat(server_->SocketPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST_F(PortSocketTest, ConnectionContextReachesTheFilterAndASecondClientIsRefused) {
    const std::vector<std::uint8_t> context = {1, 2,  3,  4,  5,  6,  7,  8,
                                               9, 10, 11, 12, 13, 14, 15, 16};
    auto first = Connect({}, context);
    ASSERT_TRUE(first);
    EXPECT_EQ(filter_.lastContext, context);
    std::unique_ptr<PortSocketClient> second;
    EXPECT_EQ(PortSocketClient::Connect(server_->SocketPath(), nullptr, 0, {}, &second),
              STATUS_PORT_CONNECTION_REFUSED);
    EXPECT_FALSE(second);
}

TEST_F(PortSocketTest, NoServerMeansNoSuchPort) {
    server_.reset();
    std::unique_ptr<PortSocketClient> client;
    EXPECT_EQ(
        PortSocketClient::Connect(root_ + "/run/SocketTestPort.sock", nullptr, 0, {}, &client),
        STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(PortSocketTest, ManySenderThreadsEachGetTheirOwnReply) {
    auto client = Connect();
    ASSERT_TRUE(client);
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 8; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                std::vector<std::uint8_t> input(1 + (t * 97 + i * 13) % 3000);
                for (std::size_t k = 0; k < input.size(); ++k) {
                    input[k] = static_cast<std::uint8_t>(t * 31 + i + k);
                }
                std::vector<std::uint8_t> output(input.size() + 7, 0xEE);
                std::uint32_t returned = 0;
                const NTSTATUS status = client->SendMessage(
                    input.data(), static_cast<std::uint32_t>(input.size()), output.data(),
                    static_cast<std::uint32_t>(output.size()), &returned);
                bool ok = status == STATUS_SUCCESS && returned == input.size();
                for (std::size_t k = 0; ok && k < input.size(); ++k) {
                    ok = output[k] == input[input.size() - 1 - k];
                }
                ok = ok && output.back() == 0xEE;  // nothing written past the reply
                wrong += ok ? 0 : 1;
            }
        });
    }
    for (auto& s : senders) {
        s.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(PortSocketTest, WhatAFailingCommandWroteAtTheStartOfTheOutputComesBack) {
    auto client = Connect();
    ASSERT_TRUE(client);
    std::vector<std::uint8_t> output(8 + 100 + 200, 0);
    const std::uint16_t offered[2] = {100, 200};
    std::memcpy(output.data() + 4, offered, 4);
    std::uint32_t returned = 99;
    EXPECT_EQ(client->SendMessage("needs", 5, output.data(),
                                  static_cast<std::uint32_t>(output.size()), &returned),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(returned, 0u);
    std::uint16_t needed[2];
    std::memcpy(needed, output.data() + 4, 4);
    EXPECT_EQ(needed[0], 110);
    EXPECT_EQ(needed[1], 220);
}

TEST_F(PortSocketTest, NotificationsArriveInOrderWithNothingLost) {
    auto client = Connect({64, 16 * 1024});  // a small window: the filter's sends must wait
    ASSERT_TRUE(client);
    constexpr std::uint32_t kCount = 20000;
    std::atomic<int> failed{0};
    std::thread filter([&] {
        for (std::uint32_t i = 0; i < kCount; ++i) {
            failed += Notify(Numbered(i, 40 + i % 200)) == STATUS_SUCCESS ? 0 : 1;
        }
    });
    std::vector<std::uint8_t> buffer(4096);
    std::uint32_t expected = 0;
    std::uint64_t lastId = 0;
    while (expected < kCount) {
        std::uint32_t received = 0;
        const NTSTATUS status = client->GetMessage(
            buffer.data(), static_cast<std::uint32_t>(buffer.size()), &received, 10000);
        ASSERT_EQ(status, STATUS_SUCCESS) << "after " << expected;
        ASSERT_EQ(received, 16 + 40 + expected % 200);
        std::uint32_t n;
        std::memcpy(&n, buffer.data() + 16, 4);
        ASSERT_EQ(n, expected);
        std::uint64_t id;
        std::memcpy(&id, buffer.data() + 8, 8);
        EXPECT_GT(id, lastId);
        lastId = id;
        ++expected;
    }
    filter.join();
    EXPECT_EQ(failed.load(), 0);
}

TEST_F(PortSocketTest, ALargestNotificationMakesTheReceiverGrowItsBuffer) {
    auto client = Connect();
    ASSERT_TRUE(client);
    const std::vector<std::uint8_t> big = Numbered(7, 0x4000000 + 200);
    std::atomic<NTSTATUS> sent{0x103};
    std::thread filter([&] {
        sent = Notify(big);
        sent = Notify(Numbered(8, 100));
    });
    std::vector<std::uint8_t> buffer(0x10000);
    std::uint32_t received = 0;
    ASSERT_EQ(client->GetMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                 &received, 30000),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(received, 16 + big.size());
    buffer.resize(received);
    ASSERT_EQ(client->GetMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                 &received, 30000),
              STATUS_SUCCESS);
    EXPECT_EQ(received, 16 + big.size());
    EXPECT_TRUE(std::equal(big.begin(), big.end(), buffer.begin() + 16));
    ASSERT_EQ(client->GetMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                 &received, 30000),
              STATUS_SUCCESS);
    EXPECT_EQ(received, 16 + 100u);
    filter.join();
    EXPECT_EQ(sent.load(), STATUS_SUCCESS);
}

TEST_F(PortSocketTest, FilterSendTimesOutOnceTheReceiveWindowIsFull) {
    auto client = Connect({2, 1024 * 1024});
    ASSERT_TRUE(client);
    // The window takes two notifications without the client receiving; the third waits in vain.
    EXPECT_EQ(Notify(Numbered(0, 50)), STATUS_SUCCESS);
    EXPECT_EQ(Notify(Numbered(1, 50)), STATUS_SUCCESS);
    std::atomic<NTSTATUS> third{0x103};
    std::thread filter([&] { third = Notify(Numbered(2, 50), 10); });
    EXPECT_TRUE(sim::SimClock::AdvanceUntil([&] { return third.load() != 0x103; }, 10'000'000));
    filter.join();
    EXPECT_EQ(third.load(), STATUS_TIMEOUT);
    // Receiving opens the window again and the offer goes through.
    std::vector<std::uint8_t> buffer(256);
    std::uint32_t received = 0;
    for (std::uint32_t i = 0; i < 2; ++i) {
        ASSERT_EQ(client->GetMessage(buffer.data(), 256, &received, 5000), STATUS_SUCCESS);
        std::uint32_t n;
        std::memcpy(&n, buffer.data() + 16, 4);
        EXPECT_EQ(n, i);
    }
    EXPECT_EQ(Notify(Numbered(2, 50)), STATUS_SUCCESS);
    ASSERT_EQ(client->GetMessage(buffer.data(), 256, &received, 5000), STATUS_SUCCESS);
}

TEST_F(PortSocketTest, ClientCloseDisconnectsItFromTheFilter) {
    auto client = Connect();
    ASSERT_TRUE(client);
    std::atomic<NTSTATUS> waiting{0x103};
    std::thread receiver([&] {
        std::vector<std::uint8_t> buffer(256);
        std::uint32_t received = 0;
        waiting = client->GetMessage(buffer.data(), 256, &received, -1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client->Close();
    receiver.join();
    EXPECT_EQ(waiting.load(), STATUS_PORT_DISCONNECTED);
    EXPECT_EQ(client->SendMessage("x", 1, nullptr, 0, nullptr), STATUS_PORT_DISCONNECTED);
    EXPECT_TRUE(WaitReal([&] { return filter_.disconnects.load() == 1; }));
    // The port is free for the next client.
    EXPECT_TRUE(WaitReal([&] { return filter_.client.load() == nullptr; }));
    auto next = Connect();
    EXPECT_TRUE(next);
}

TEST_F(PortSocketTest, AClientThatDropsItsSocketDoesNotKeepTheNextOneOut) {
    // A client whose connection already broke closes its socket without waiting for the server;
    // the next client, right behind it, must not be refused as a second one.
    for (int i = 0; i < 50; ++i) {
        std::unique_ptr<PortSocketClient> next;
        {
            auto dropped = Connect();
            ASSERT_NE(dropped, nullptr);
        }  // the socket closes here, without the orderly goodbye of Close()
        ASSERT_EQ(PortSocketClient::Connect(server_->SocketPath(), nullptr, 0, {}, &next),
                  STATUS_SUCCESS)
            << "round " << i;
    }
}

TEST_F(PortSocketTest, FilterClosingTheClientPortEndsTheClientsCalls) {
    auto client = Connect();
    ASSERT_TRUE(client);
    EXPECT_EQ(Notify(Numbered(1, 20)), STATUS_SUCCESS);
    CloseClientPort(&filter_.client);
    std::vector<std::uint8_t> buffer(256);
    std::uint32_t received = 0;
    // What had crossed before the close is still delivered; then the end.
    EXPECT_EQ(client->GetMessage(buffer.data(), 256, &received, 5000), STATUS_SUCCESS);
    EXPECT_EQ(client->GetMessage(buffer.data(), 256, &received, 5000), STATUS_PORT_DISCONNECTED);
    EXPECT_EQ(client->SendMessage("x", 1, buffer.data(), 1, &received), STATUS_PORT_DISCONNECTED);
    EXPECT_TRUE(WaitReal([&] { return server_->ConnectionCount() == 0; }));
}

TEST_F(PortSocketTest, ReceiveTimesOutInRealTimeWithoutLosingTheConnection) {
    auto client = Connect();
    ASSERT_TRUE(client);
    std::vector<std::uint8_t> buffer(256);
    std::uint32_t received = 0;
    EXPECT_EQ(client->GetMessage(buffer.data(), 256, &received, 30), STATUS_TIMEOUT);
    EXPECT_EQ(client->GetMessage(buffer.data(), 256, &received, 0), STATUS_TIMEOUT);
    EXPECT_EQ(Notify(Numbered(3, 20)), STATUS_SUCCESS);
    EXPECT_EQ(client->GetMessage(buffer.data(), 256, &received, 5000), STATUS_SUCCESS);
}

// A peer that speaks something else is cut off, and the filter hears of it.
TEST_F(PortSocketTest, MalformedFramesEndTheConnection) {
    struct Case {
        const char* what;
        port_socket::FrameHeader header;
    };
    const Case cases[] = {
        {"frame longer than any message",
         {port_socket::kMaxFrameBody + 1, port_socket::kFrameSend, 0, 1}},
        {"a type only the server sends", {0, port_socket::kFrameNotify, 0, 0}},
        {"credit of the wrong size", {3, port_socket::kFrameCredit, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int disconnects = filter_.disconnects.load();
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, server_->SocketPath().c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const port_socket::ConnectBody body{port_socket::kProtocolVersion, 16, 65536, 0, 0};
        const port_socket::FrameHeader hello{sizeof body, port_socket::kFrameConnect, 0, 0};
        ASSERT_EQ(write(fd, &hello, sizeof hello), static_cast<ssize_t>(sizeof hello));
        ASSERT_EQ(write(fd, &body, sizeof body), static_cast<ssize_t>(sizeof body));
        ASSERT_TRUE(WaitReal([&] { return filter_.client.load() != nullptr; }));
        ASSERT_EQ(write(fd, &c.header, sizeof c.header), static_cast<ssize_t>(sizeof c.header));
        const char filler[3] = {};
        if (c.header.bodyLength == 3) {
            ASSERT_EQ(write(fd, filler, 3), 3);
        }
        EXPECT_TRUE(WaitReal([&] { return filter_.disconnects.load() == disconnects + 1; }));
        close(fd);
    }
}

// The batch receive the server end uses: notifications offered while the receiver wakes up go
// into the same batch, each behind its length and header, in order.
TEST_F(PortSocketTest, BatchReceiveTakesNotificationsInOrderAndReportsTheFirstThatDoesNotFit) {
    std::unique_ptr<PortConnection> connection;
    ASSERT_EQ(ConnectCommunicationPort(kPortName, nullptr, 0, &connection), STATUS_SUCCESS);
    std::vector<std::uint8_t> small(30);
    std::uint32_t used = 0;
    std::uint32_t count = 0;
    std::atomic<NTSTATUS> sent{0x103};
    std::thread filter([&] { sent = Notify(Numbered(0, 40)); });
    EXPECT_EQ(connection->GetMessages(small.data(), 30, 10, &used, &count, nullptr),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(used, 4 + 16 + 40u);
    EXPECT_EQ(count, 0u);
    std::vector<std::uint8_t> batch(4096);
    std::uint32_t next = 0;
    std::thread more;  // starts once message 0, still waiting with its sender, was taken
    while (next < 50) {
        if (next == 1 && !more.joinable()) {
            more = std::thread([&] {
                for (std::uint32_t i = 1; i < 50; ++i) {
                    Notify(Numbered(i, 40));
                }
            });
        }
        ASSERT_EQ(connection->GetMessages(batch.data(), 4096, 8, &used, &count, nullptr),
                  STATUS_SUCCESS);
        ASSERT_GE(count, 1u);
        ASSERT_LE(count, 8u);
        ASSERT_EQ(used, count * (4 + 16 + 40));
        for (std::uint32_t k = 0; k < count; ++k) {
            std::uint32_t length;
            std::uint32_t n;
            std::memcpy(&length, batch.data() + k * 60, 4);
            std::memcpy(&n, batch.data() + k * 60 + 4 + 16, 4);
            EXPECT_EQ(length, 56u);
            EXPECT_EQ(n, next++);
        }
    }
    filter.join();
    more.join();
    EXPECT_EQ(sent.load(), STATUS_SUCCESS);
    connection->Disconnect();
}

std::string RunProbe(const std::string& path, uid_t uid, gid_t gid) {
    const std::string command = std::string(PORT_SOCKET_PROBE) + " " + path + " " +
                                std::to_string(uid) + " " + std::to_string(gid);
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "popen failed";
    }
    char line[64] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return got ? std::string(line, std::strcspn(line, "\n")) : "no output";
}

TEST_F(PortSocketTest, OnlyRootAndTheSocketsGroupMayConnect) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "running a client as another user needs root";
    }
    constexpr gid_t kPortGroup = 4242;
    port_socket::ServerOptions options;
    options.group = kPortGroup;
    options.mode = 0666;  // the file system lets everyone in; the server's check must not
    StartServer(options);
    chmod(root_.c_str(), 0755);
    chmod((root_ + "/run").c_str(), 0755);
    EXPECT_EQ(RunProbe(server_->SocketPath(), 65534, 65534), "C0000022");
    EXPECT_EQ(filter_.connects.load(), 0) << "the filter never hears of a refused peer";
    EXPECT_EQ(RunProbe(server_->SocketPath(), 65534, kPortGroup), "00000000");
    EXPECT_EQ(filter_.connects.load(), 1);
}

TEST(PeerMayConnect, RootPrimaryOrSupplementaryGroup) {
    const gid_t groups[] = {10, 20};
    EXPECT_TRUE(port_socket::PeerMayConnect(0, 99, nullptr, 0, 7));
    EXPECT_TRUE(port_socket::PeerMayConnect(1000, 7, nullptr, 0, 7));
    EXPECT_TRUE(port_socket::PeerMayConnect(1000, 99, groups, 2, 20));
    EXPECT_FALSE(port_socket::PeerMayConnect(1000, 99, groups, 2, 7));
}

}  // namespace
