// Operation statistics: six operation counters and two byte counters updated with lock-free
// atomic additions, and three times kept under the statistics spin lock. A reader takes the
// counters one by one, so a reply is not one consistent snapshot; each value is read whole.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/spin_lock.h"
#include "platform/kernel/status.h"
#include "wire/port_wire.h"

namespace vesk::driver {

class Statistics {
public:
    // Resets everything to 0 (start-up).
    void Reset();
    // Resets everything and stamps the start time with the current system time (activation).
    void ResetAndStart();

    // Counts one operation by its final status. Only creates, reads and writes are counted; a read
    // or write counts once however many messages carry its data.
    void CountOperation(std::uint32_t operationClass, kernel::NTSTATUS finalStatus,
                        std::uint64_t bytesTransferred);

    wire::StatisticsReply Read();

private:
    std::atomic<std::uint64_t> readsSucceeded_{0};
    std::atomic<std::uint64_t> writesSucceeded_{0};
    std::atomic<std::uint64_t> createsSucceeded_{0};
    std::atomic<std::uint64_t> readsFailed_{0};
    std::atomic<std::uint64_t> writesFailed_{0};
    std::atomic<std::uint64_t> createsFailed_{0};
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<std::uint64_t> bytesWritten_{0};

    kernel::SpinLock timesLock_;
    std::uint64_t startTime_ = 0;      // protected by timesLock_
    std::uint64_t lastReadTime_ = 0;   // protected by timesLock_
    std::uint64_t lastWriteTime_ = 0;  // protected by timesLock_
};

}  // namespace vesk::driver
