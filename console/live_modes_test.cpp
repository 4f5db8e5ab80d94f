// The monitor and the statistics screen run in this process against the simulated driver behind
// a socket; their input is a pipe the test types into.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "control/command_handlers.h"
#include "live_modes.h"
#include "sim_clock.h"
#include "testing/engine_fixture.h"
#include "wire/port_wire.h"

namespace vesk::console {
namespace {

// Rules whose resolution at activation fails, so the activation does.
class FailingRules final : public driver::RuleCommands {
  public:
    kernel::NTSTATUS ResolvePendingRules() override { return kernel::STATUS_INSUFFICIENT_RESOURCES; }
    kernel::NTSTATUS AddRule(const driver::AddRuleRequest&) override { return 0; }
    kernel::NTSTATUS DeleteRule(std::uint32_t, const kernel::UnicodeString*) override { return 0; }
    kernel::NTSTATUS ClearRules(std::uint32_t) override { return 0; }
};

constexpr const char* kReady = "  Press any key to exit...\r\n";

class LiveModes : public testing::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_EQ(pipe(keys_), 0);
        const char* tz = std::getenv("TZ");
        savedTz_ = tz != nullptr ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        CloseKeyboard();
        if (runner_.joinable()) {
            runner_.join();
        }
        close(keys_[0]);
        driver_->rules = nullptr;
        savedTz_ ? setenv("TZ", savedTz_->c_str(), 1) : unsetenv("TZ");
        tzset();
        EngineTest::TearDown();
    }

    // Runs a mode on its own thread (the program's main thread) until it returns.
    template <typename Mode>
    void Start(Mode mode) {
        runner_ = std::thread([this, mode] {
            mode(ConsoleIo{out_, keys_[0], -1, false});
            finished_ = true;
        });
    }
    void StartMonitor(const std::string& filter, const std::u16string& pattern) {
        Start([filter, pattern](const ConsoleIo& io) { RunMonitor(io, filter, pattern); });
    }
    bool Shows(const std::string& text) {
        return Eventually([&] { return out_.Text().find(text) != std::string::npos; });
    }
    void PressKey() { ASSERT_EQ(write(keys_[1], "q", 1), 1); }
    void CloseKeyboard() {
        if (keys_[1] >= 0) {
            close(keys_[1]);
            keys_[1] = -1;
        }
    }
    bool Finished() {
        if (!Eventually([&] { return finished_.load(); })) {
            return false;
        }
        runner_.join();
        return true;
    }
    // A message whose length field claims more than arrived: the engine reports it with 1359.
    void SendDamagedMessage() {
        std::vector<std::uint8_t> overlong(100, 0);
        const std::uint32_t claimed = 500;
        std::memcpy(overlong.data() + 8, &claimed, 4);
        EnqueueRaw(overlong);
    }

    int keys_[2] = {-1, -1};
    StringOutput out_;
    std::thread runner_;
    std::atomic<bool> finished_{false};
    std::optional<std::string> savedTz_;
};

template <typename T>
std::vector<std::uint8_t> Bytes(const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    return std::vector<std::uint8_t>(p, p + sizeof value);
}

TEST_F(LiveModes, MonitorPrintsWhatPassesAndAKeyEndsIt) {
    StartMonitor("RW", u"*.txt");
    ASSERT_TRUE(Shows(kReady));
    const auto read = Bytes(wire::TransferPayload{0, 1, 0, 0, 1, 0});
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpRead, "/srv/data/b.doc", 9, 0, read});
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpClose, "/srv/data/a.txt", 9, 0,
             Bytes(wire::ClosePayload{1})});
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpRead, "/srv/data/a.txt", 9, 0, read});
    ASSERT_TRUE(Shows("/srv/data/a.txt"));
    PressKey();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(out_.Text(),
              "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
              "  Initialized successfully.\r\n  Specified filter options:\r\n    read\r\n"
              "    write\r\n  Activating engine...\r\n  Press any key to exit...\r\n"
              "  File object: 00000000\r\n  Read:\r\n    00000000\r\n    Status: 00000000\r\n"
              "    /srv/data/a.txt\r\n    Type = Normal, flags = 0\r\n"
              "    Offset = 0, size = 0, key = 00000000\r\n\r\n"
              "Performing cleanup...\r\nDone.\r\n");
    EXPECT_FALSE(VeskUninitialize()) << "the monitor stopped the engine";
    EXPECT_EQ(VeskGetErrorCode(), 5023u);
}

TEST_F(LiveModes, AnEngineErrorEndsTheMonitorThroughTheCtrlCPath) {
    StartMonitor("", u"");
    ASSERT_TRUE(Shows(kReady));
    SendDamagedMessage();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(out_.Text(),
              "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
              "  Initialized successfully.\r\n  No filter specified:\r\n"
              "    Displaying all operations.\r\n  Activating engine...\r\n"
              "  Press any key to exit...\r\n"
              "ERROR: error notification, code = 1359.\r\n"
              "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n");
}

// Input that ends (a closed pipe, /dev/null) is not a key press: the monitor keeps running.
TEST_F(LiveModes, TheEndOfTheInputIsNotAKeyPress) {
    StartMonitor("*", u"");
    ASSERT_TRUE(Shows(kReady));
    CloseKeyboard();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(finished_.load());
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpDelete, "/srv/data/late", 9, 0, {}});
    ASSERT_TRUE(Shows("/srv/data/late"));
    SendDamagedMessage();
    ASSERT_TRUE(Finished());
    EXPECT_NE(out_.Text().find("    all operations\r\n"), std::string::npos);
}

TEST_F(LiveModes, AFailedActivationStopsTheEngineBeforeTheMonitorReturns) {
    FailingRules rules;
    driver_->rules = &rules;
    StartMonitor("c", u"");
    ASSERT_TRUE(Finished());
    EXPECT_EQ(out_.Text(),
              "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
              "  Initialized successfully.\r\n  Specified filter options:\r\n    create\r\n"
              "  Activating engine...\r\n  ERROR: filtering engine was not activated.\r\n"
              "         Win32 error code = 1450\r\n");
    // Records that arrive now find no printer: the engine no longer delivers.
    EXPECT_FALSE(VeskUninitialize());
    EXPECT_EQ(VeskGetErrorCode(), 5023u);
}

TEST_F(LiveModes, AFailedInitializationIsReportedWithItsCode) {
    StopServer();
    Start([](const ConsoleIo& io) { RunMonitor(io, "", u""); });
    ASSERT_TRUE(Finished());
    const std::string output = out_.Text();
    const std::string head =
        "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
        "  ERROR: initialization failed.\r\n         Win32 error code = ";
    EXPECT_EQ(output.substr(0, head.size()), head);
    EXPECT_EQ(output.substr(output.size() - 3), ".\r\n");
}

TEST_F(LiveModes, StatisticsBeforeAndAfterOperations) {
    Start([](const ConsoleIo& io) { RunStatisticsScreen(io); });
    const std::string head =
        "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
        "  Initialized successfully.\r\n  Activating engine...\r\n"
        "  Time format is h:m:s d.m.y.\r\n  Press any key to exit...\r\n\r\n";
    // Activation stamps the start (the simulated clock: 1 January 2026, midnight UTC); nothing
    // has been read or written yet.
    const std::string idle =
        "    Data read:\t\t0 bytes\r\n    Data written:\t0 bytes\r\n"
        "    Read ops:\t\t0 succeeded, 0 failed\r\n    Write ops:\t\t0 succeeded, 0 failed\r\n"
        "    Create ops:\t\t0 succeeded, 0 failed\r\n    Started:\t\t00:00:00 01.01.2026\r\n"
        "    Last read:\t\tWaiting...\r\n    Last written:\tWaiting...\r\n\r\n";
    ASSERT_TRUE(Shows(head + idle));

    sim::SimClock::AdvanceSeconds(3723);
    driver_->statistics.CountOperation(wire::VeskOpRead, 0, 4096);
    driver_->statistics.CountOperation(wire::VeskOpRead, 0xC0000022, 0);
    driver_->statistics.CountOperation(wire::VeskOpCreate, 0, 0);
    const std::string busy =
        "    Data read:\t\t4096 bytes\r\n    Data written:\t0 bytes\r\n"
        "    Read ops:\t\t1 succeeded, 1 failed\r\n    Write ops:\t\t0 succeeded, 0 failed\r\n"
        "    Create ops:\t\t1 succeeded, 0 failed\r\n    Started:\t\t00:00:00 01.01.2026\r\n"
        "    Last read:\t\t01:02:03 01.01.2026\r\n    Last written:\tWaiting...\r\n\r\n";
    // Its output is not a terminal: each second's block follows the last, no cursor movement.
    ASSERT_TRUE(Shows(idle + busy));
    PressKey();
    ASSERT_TRUE(Finished());
    const std::string output = out_.Text();
    EXPECT_EQ(output.substr(0, head.size() + idle.size()), head + idle);
    EXPECT_EQ(output.find('\x1b'), std::string::npos);
    const std::string end = busy + "Performing cleanup...\r\nDone.\r\n";
    EXPECT_EQ(output.substr(output.size() - end.size()), end);
}

// The port going away is an engine error without a code of its own: no error line, the Ctrl+C
// ending.
TEST_F(LiveModes, ThePortGoingAwayEndsTheStatisticsScreen) {
    Start([](const ConsoleIo& io) { RunStatisticsScreen(io); });
    ASSERT_TRUE(Shows("    Last written:"));
    StopServer();
    ASSERT_TRUE(Finished());
    const std::string output = out_.Text();
    const std::string end = "\r\n\r\nClosing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n";
    EXPECT_EQ(output.substr(output.size() - end.size()), end) << output;
    EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
}

}  // namespace
}  // namespace vesk::console
