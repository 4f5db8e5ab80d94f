#include "statistics.h"

#include "platform/kernel/system_time.h"

namespace vesk::driver {

using namespace kernel;

void Statistics::Reset() {
    for (auto* counter : {&readsSucceeded_, &writesSucceeded_, &createsSucceeded_, &readsFailed_,
                          &writesFailed_, &createsFailed_, &bytesRead_, &bytesWritten_}) {
        counter->store(0, std::memory_order_relaxed);
    }
    SpinLockGuard guard(timesLock_);
    startTime_ = lastReadTime_ = lastWriteTime_ = 0;
}

void Statistics::ResetAndStart() {
    Reset();
    const auto now = static_cast<std::uint64_t>(QuerySystemTime());
    SpinLockGuard guard(timesLock_);
    startTime_ = now;
}

void Statistics::CountOperation(std::uint32_t operationClass, NTSTATUS finalStatus,
                                std::uint64_t bytesTransferred) {
    const bool succeeded = NtSuccess(finalStatus);
    switch (operationClass) {
        case wire::VeskOpCreate:
            (succeeded ? createsSucceeded_ : createsFailed_).fetch_add(1, std::memory_order_relaxed);
            return;
        case wire::VeskOpRead:
        case wire::VeskOpWrite: {
            const bool read = operationClass == wire::VeskOpRead;
            auto& counter = read ? (succeeded ? readsSucceeded_ : readsFailed_)
                                 : (succeeded ? writesSucceeded_ : writesFailed_);
            counter.fetch_add(1, std::memory_order_relaxed);
            const auto now = static_cast<std::uint64_t>(QuerySystemTime());
            {
                SpinLockGuard guard(timesLock_);
                (read ? lastReadTime_ : lastWriteTime_) = now;
            }
            if (succeeded) {
                (read ? bytesRead_ : bytesWritten_)
                    .fetch_add(bytesTransferred, std::memory_order_relaxed);
            }
            return;
        }
        default:
            return;
    }
}

wire::StatisticsReply Statistics::Read() {
    wire::StatisticsReply reply{};
    reply.ReadsSucceeded = readsSucceeded_.load(std::memory_order_relaxed);
    reply.WritesSucceeded = writesSucceeded_.load(std::memory_order_relaxed);
    reply.CreatesSucceeded = createsSucceeded_.load(std::memory_order_relaxed);
    reply.ReadsFailed = readsFailed_.load(std::memory_order_relaxed);
    reply.WritesFailed = writesFailed_.load(std::memory_order_relaxed);
    reply.CreatesFailed = createsFailed_.load(std::memory_order_relaxed);
    reply.BytesRead = bytesRead_.load(std::memory_order_relaxed);
    reply.BytesWritten = bytesWritten_.load(std::memory_order_relaxed);
    SpinLockGuard guard(timesLock_);
    reply.StartTime = startTime_;
    reply.LastReadTime = lastReadTime_;
    reply.LastWriteTime = lastWriteTime_;
    return reply;
}

}  // namespace vesk::driver
