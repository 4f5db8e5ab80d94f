#include "driver_harness.h"

#include <atomic>
#include <thread>

#include "control/port_callbacks.h"
#include "message/notification_builder.h"
#include "testing/wire_reader.h"

namespace vesk::testing {

using namespace kernel;

void DriverHarnessTest::SetUp() {
    KernelTest::SetUp();
    driver_ = std::make_unique<driver::DriverState>();
    driver_->statistics.Reset();
    ASSERT_EQ(CreateCommunicationPort(kPortName, driver_.get(), driver::DriverPortCallbacks(), 1,
                                      &port_),
              STATUS_SUCCESS);
    ASSERT_EQ(driver_->queue.StartDelivery(driver_->connection.PortSlot()), STATUS_SUCCESS);
}

void DriverHarnessTest::TearDown() {
    // The order the driver's unload uses: capture off, delivery stopped (an offer in progress ends
    // with the client's answer or its time-out), then the client port and the server port closed.
    driver_->connection.Shutdown();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        driver_->queue.StopDelivery();
        stopped = true;
    });
    sim::SimClock::AdvanceUntil([&] { return stopped.load(); }, 10 * 10'000'000LL);
    stopper.join();
    CloseClientPort(driver_->connection.PortSlot());
    CloseCommunicationPort(port_);
    driver_.reset();
    KernelTest::TearDown();
}

NTSTATUS DriverHarnessTest::Connect(const std::vector<std::uint8_t>& context,
                                    std::unique_ptr<PortConnection>* connection) {
    return ConnectCommunicationPort(kPortName, context.empty() ? nullptr : context.data(),
                                    static_cast<std::uint16_t>(context.size()), connection);
}

std::unique_ptr<PortConnection> DriverHarnessTest::ConnectDefault(std::uint32_t categories,
                                                                  std::uint32_t options) {
    std::unique_ptr<PortConnection> connection;
    const wire::ConnectionContext context{options, categories, kTestThreadId, kTestThreadId};
    const auto* p = reinterpret_cast<const std::uint8_t*>(&context);
    EXPECT_EQ(Connect(std::vector<std::uint8_t>(p, p + sizeof context), &connection),
              STATUS_SUCCESS);
    return connection;
}

NTSTATUS DriverHarnessTest::Send(PortConnection& connection, const std::vector<std::uint8_t>& message,
                                 std::vector<std::uint8_t>* output, std::uint32_t* returned) {
    std::uint32_t ignored = 0;
    return connection.SendMessage(message.data(), static_cast<std::uint32_t>(message.size()),
                                  output != nullptr ? output->data() : nullptr,
                                  output != nullptr ? static_cast<std::uint32_t>(output->size()) : 0,
                                  returned != nullptr ? returned : &ignored);
}

std::vector<std::uint8_t> DriverHarnessTest::Receive(PortConnection& connection,
                                                     std::int64_t timeoutSeconds) {
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::uint32_t received = 0;
    const std::int64_t timeout = -timeoutSeconds * 10'000'000LL;
    std::atomic<NTSTATUS> status{0x103};
    std::thread receiver([&] {
        status = connection.GetMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                       &received, &timeout);
    });
    // A delivered message arrives in real time; only when none comes does simulated time have to
    // pass for the time-out.
    for (int i = 0; i < 200 && status.load() == 0x103; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sim::SimClock::AdvanceUntil([&] { return status.load() != 0x103; }, timeout < 0 ? -timeout : 1);
    receiver.join();
    if (status.load() != STATUS_SUCCESS) {
        return {};
    }
    buffer.resize(received);
    return buffer;
}

void DriverHarnessTest::EnqueueFlush(const char* name) {
    std::u16string text = U16(name);
    UnicodeString counted{static_cast<std::uint16_t>(text.size() * 2),
                          static_cast<std::uint16_t>(text.size() * 2), text.data()};
    driver::MessageParameters p;
    p.actingThread = testThread_;
    p.name = &counted;
    p.category = wire::VeskCategoryFileSystem;
    p.operation = wire::VeskOpFlush;
    driver::BuiltMessage built;
    ASSERT_EQ(driver::BuildMessage(p, &built), STATUS_SUCCESS);
    ASSERT_EQ(driver_->queue.EnqueueMessage(built.message, built.totalLength), STATUS_SUCCESS);
}

}  // namespace vesk::testing
