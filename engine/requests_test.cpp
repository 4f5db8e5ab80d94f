#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "kernel_test.h"
#include "platform/kernel/port.h"
#include "port_socket_server.h"
#include "run_directory.h"
#include "testing/engine_fixture.h"
#include "vesk/vesklib.h"

namespace vesk::testing {
namespace {

using namespace kernel;

// A port that records every control message byte for byte and every connection context, and
// accepts everything: what the library puts on the wire, exactly.
class RawRequests : public sim::KernelTest {
  protected:
    struct Port {
        std::mutex mutex;
        std::vector<std::vector<std::uint8_t>> messages;
        std::vector<std::uint32_t> contextLengths;
        ClientPortSlot client{nullptr};
        ServerPort* server = nullptr;
    };

    static NTSTATUS Connect(void* cookie, ClientPort* port, const void*, std::uint32_t length) {
        auto* self = static_cast<Port*>(cookie);
        std::lock_guard lock(self->mutex);
        self->contextLengths.push_back(length);
        self->client = port;
        return STATUS_SUCCESS;
    }
    static void Disconnect(void* cookie, ClientPort*) {
        CloseClientPort(&static_cast<Port*>(cookie)->client);
    }
    static NTSTATUS Message(void* cookie, const void* in, std::uint32_t length, void*,
                            std::uint32_t, std::uint32_t*) {
        auto* self = static_cast<Port*>(cookie);
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        std::lock_guard lock(self->mutex);
        self->messages.emplace_back(bytes, bytes + length);
        return STATUS_SUCCESS;
    }

    void SetUp() override {
        KernelTest::SetUp();
        char root[] = "/tmp/vesk-requests-XXXXXX";
        ASSERT_NE(mkdtemp(root), nullptr);
        root_ = root;
        setenv("VESK_ROOT", root_.c_str(), 1);
        ASSERT_EQ(CreateCommunicationPort("\\TallowmereVeskPort", &port_,
                                          {&Connect, &Disconnect, &Message}, 1, &port_.server),
                  STATUS_SUCCESS);
        ASSERT_EQ(port_socket::PortSocketServer::Start("\\TallowmereVeskPort", {}, &server_),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        server_.reset();
        CloseClientPort(&port_.client);
        CloseCommunicationPort(port_.server);
        std::system(("rm -rf " + root_).c_str());
        KernelTest::TearDown();
    }

    std::vector<std::vector<std::uint8_t>> Messages() {
        std::lock_guard lock(port_.mutex);
        return port_.messages;
    }

    std::string root_;
    Port port_;
    std::unique_ptr<port_socket::PortSocketServer> server_;
};

template <typename T>
T At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST_F(RawRequests, AddRuleWithAnEmptyPatternSendsExactly38Bytes) {
    const VeskGuid id{0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
    ASSERT_TRUE(VeskAddRule(id, u"", 2, 0x4, 1234, VeskRuleExclude));
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    const auto& m = messages[0];
    ASSERT_EQ(m.size(), 38u);
    EXPECT_EQ(At<std::uint32_t>(m, 0), 2u);
    EXPECT_EQ(std::memcmp(m.data() + 4, &id, 16), 0);
    EXPECT_EQ(At<std::uint32_t>(m, 20), 1234u);
    EXPECT_EQ(At<std::uint32_t>(m, 24), static_cast<std::uint32_t>(VeskRuleExclude));
    EXPECT_EQ(At<std::uint32_t>(m, 28), 2u);
    EXPECT_EQ(At<std::uint32_t>(m, 32), 4u);
    EXPECT_EQ(At<std::uint16_t>(m, 36), 0);
}

TEST_F(RawRequests, AddRuleCarriesThePatternWithoutTerminator) {
    ASSERT_TRUE(VeskAddRule(VeskGuid{}, nullptr, 0, 0, VESK_ANY_PROCESS, 0)) << "no pattern at all";
    ASSERT_TRUE(VeskAddRule(VeskGuid{}, u"*\\tmp\\*", 0, 0, VESK_ANY_PROCESS, 0));
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].size(), 38u);
    const auto& m = messages[1];
    ASSERT_EQ(m.size(), 38u + 14);
    EXPECT_EQ(At<std::uint16_t>(m, 36), 14);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(m.data() + 38), 7), u"*\\tmp\\*");
}

TEST_F(RawRequests, DeleteRuleSendsCodeFixedPartAndPattern) {
    ASSERT_TRUE(VeskDeleteRule(u"*.txt", VeskRuleStoreBoth));
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    const auto& m = messages[0];
    ASSERT_EQ(m.size(), 4u + 10 + 10);
    EXPECT_EQ(At<std::uint32_t>(m, 0), 3u);
    EXPECT_EQ(At<std::uint32_t>(m, 4), 0u);
    EXPECT_EQ(At<std::uint32_t>(m, 8), 3u);
    EXPECT_EQ(At<std::uint16_t>(m, 12), 10);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(m.data() + 14), 5), u"*.txt");
}

TEST_F(RawRequests, ActivationClearRulesAndStatisticsMessages) {
    ASSERT_TRUE(VeskActivate());
    ASSERT_TRUE(VeskDeactivate());
    ASSERT_TRUE(VeskClearRules(VeskRuleStoreMemory));
    VeskStatistics statistics{};
    ASSERT_TRUE(VeskGetStatistics(&statistics));
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(messages[1], (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(messages[2], (std::vector<std::uint8_t>{4, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(messages[3], (std::vector<std::uint8_t>{6, 0, 0, 0}));
    // Each went through a temporary connection without a context.
    std::lock_guard lock(port_.mutex);
    EXPECT_EQ(port_.contextLengths, (std::vector<std::uint32_t>{0, 0, 0, 0}));
}

TEST_F(RawRequests, StatisticsWithoutAPlaceFailsAndSendsNothing) {
    EXPECT_FALSE(VeskGetStatistics(nullptr));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_TRUE(Messages().empty());
    std::lock_guard lock(port_.mutex);
    EXPECT_TRUE(port_.contextLengths.empty()) << "not even a connection";
}

TEST_F(RawRequests, APatternTooLongForItsLengthFieldIsRefused) {
    const std::u16string pattern(0x8000, u'a');
    EXPECT_FALSE(VeskAddRule(VeskGuid{}, pattern.c_str(), 0, 0, 0, 0));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_FALSE(VeskDeleteRule(pattern.c_str(), 1));
    EXPECT_EQ(VeskGetErrorCode(), 87u);
    EXPECT_TRUE(Messages().empty());
}

// Against the driver core: what it answers comes back as the caller's error.
class DriverRequests : public EngineTest {};

TEST_F(DriverRequests, ActivationAndStatisticsWithoutInitialize) {
    ASSERT_TRUE(VeskActivate()) << VeskGetErrorCode();
    VeskStatistics statistics{};
    ASSERT_TRUE(VeskGetStatistics(&statistics));
    EXPECT_EQ(statistics.StartTime, static_cast<std::uint64_t>(sim::SimClock::Now()));
    EXPECT_EQ(statistics.ReadsSucceeded, 0u);
    ASSERT_TRUE(VeskDeactivate());
}

TEST_F(DriverRequests, DriverRefusalsBecomeTheLastError) {
    // This driver has no rule table yet: not implemented, ERROR_INVALID_FUNCTION.
    EXPECT_FALSE(VeskClearRules(VeskRuleStoreBoth));
    EXPECT_EQ(VeskGetErrorCode(), 1u);
    StopServer();
    EXPECT_FALSE(VeskActivate());
    EXPECT_EQ(VeskGetErrorCode(), 2u) << "no driver: file not found";
}

}  // namespace
}  // namespace vesk::testing
