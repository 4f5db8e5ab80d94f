// The driver loaded through its entry point on the simulated platform (the machine of the name
// tests, a registry of the test's own), a client on its port, and what that client receives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/driver_state.h"
#include "names/names_test_world.h"
#include "platform/kernel/port_client.h"
#include "sim_fltmgr.h"
#include "testing/wire_reader.h"
#include "wire/port_wire.h"

namespace vesk::testing {

inline constexpr const char16_t* kVeskServiceKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";

class LoadedDriverTest : public NamesTest {
  protected:
    // The client's own two threads, whose activity the driver never reports.
    static constexpr std::uint32_t kClientProcessId = 4000;
    static constexpr std::uint32_t kClientThreadId1 = 4001;
    static constexpr std::uint32_t kClientThreadId2 = 4002;

    void SetUp() override;
    void TearDown() override;

    kernel::NTSTATUS Load();
    // The platform unloads the filter; the clock moves while the delivery thread ends an offer.
    void Unload();
    bool Loaded() const;
    driver::DriverState& Driver();
    flt::Filter* Filter();

    // Connects with a context naming the client's two threads, and activates.
    void ConnectAndActivate(std::uint32_t options = 0,
                            std::uint32_t categories = wire::VeskWantFileSystem |
                                                       wire::VeskWantProcess);
    kernel::NTSTATUS Command(const std::vector<std::uint8_t>& message,
                             std::vector<std::uint8_t>* output = nullptr);
    wire::StatisticsReply Statistics();

    // The next notification the client receives (any size); nullopt when none comes.
    std::optional<ParsedNotification> Receive();
    // Every message built so far was delivered: nothing else is queued or being offered.
    ::testing::AssertionResult NothingMoreQueued();

    std::string DatabasePath() const { return dir_ + "/registry.db"; }

    flt::Volume* MountVolume(const std::u16string& deviceName = u"\\Device\\HarddiskVolume2",
                             std::uint32_t deviceType = flt::kDeviceDiskFileSystem);

    // What a record must hold. The acting thread defaults to the test's thread; the identity
    // (session, logon id, SID) is always the test token's.
    struct ExpectedRecord {
        std::uint32_t category = wire::VeskCategoryFileSystem;
        std::uint32_t operation = 0;
        kernel::NTSTATUS status = 0;
        std::u16string name;
        std::uint16_t prefix = 0;
        std::uint32_t volumeId = 0;
        std::uint32_t fileObjectId = 0;
        std::vector<std::uint8_t> payload;
        std::uint32_t threadId = kTestThreadId;
        std::uint32_t processId = kTestProcessId;
    };
    // Every header field, the name, the SID and the payload bytes.
    static ::testing::AssertionResult Matches(const std::optional<ParsedNotification>& received,
                                              const ExpectedRecord& expected);

    std::unique_ptr<kernel::PortConnection> client_;
    kernel::Process* clientProcess_ = nullptr;
    kernel::Thread* clientThread1_ = nullptr;
    kernel::Thread* clientThread2_ = nullptr;

  private:
    std::string dir_;
};

// Payload bytes of a wire structure, for comparing what arrived with what is expected.
template <typename T>
std::vector<std::uint8_t> Bytes(const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    return std::vector<std::uint8_t>(p, p + sizeof value);
}
std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts);
std::vector<std::uint8_t> TextBytes(const std::u16string& text, bool terminated);

}  // namespace vesk::testing
