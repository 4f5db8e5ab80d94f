// A driver core behind a real communication port on the simulated platform, with the delivery
// thread running: what a test client sees is what crossed the port.
#pragma once

#include <memory>
#include <vector>

#include "core/driver_state.h"
#include "kernel_test.h"
#include "platform/kernel/port.h"
#include "platform/kernel/port_client.h"

namespace vesk::testing {

class DriverHarnessTest : public sim::KernelTest {
protected:
    static constexpr const char* kPortName = "\\TestVeskPort";

    void SetUp() override;
    void TearDown() override;

    // Connects a client; context empty means none.
    kernel::NTSTATUS Connect(const std::vector<std::uint8_t>& context,
                             std::unique_ptr<kernel::PortConnection>* connection);
    // Connects with both excluded threads set to the test thread.
    std::unique_ptr<kernel::PortConnection> ConnectDefault(std::uint32_t categories = 3,
                                                           std::uint32_t options = 0);

    kernel::NTSTATUS Send(kernel::PortConnection& connection, const std::vector<std::uint8_t>& message,
                          std::vector<std::uint8_t>* output = nullptr,
                          std::uint32_t* returned = nullptr);

    // Receives one notification; empty when none came within the (simulated) time-out.
    std::vector<std::uint8_t> Receive(kernel::PortConnection& connection,
                                      std::int64_t timeoutSeconds = 60);

    // Builds and queues a flush record with the given name from the test thread.
    void EnqueueFlush(const char* name);

    std::unique_ptr<driver::DriverState> driver_;
    kernel::ServerPort* port_ = nullptr;
};

}  // namespace vesk::testing
