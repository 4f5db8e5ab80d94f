// The receiver thread: takes each notification from the port, checks it, queues a private copy
// and wakes the dispatch thread. All client work happens on the dispatch thread, so a slow client
// delays delivery but never this loop.

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#include "instance.h"
#include "last_error.h"
#include "record_check.h"

namespace vesk::engine {

namespace {

constexpr std::uint32_t kPortHeader = 16;

// Checks and queues one received message; 0 or the error for event 2.
std::uint32_t QueueRecord(Instance& instance, std::span<const std::uint8_t> received) {
    std::uint32_t error = 0;
    const std::uint32_t total = ReceivedRecordLength(received, &error);
    if (total == 0) {
        return error;
    }
    const std::span<const std::uint8_t> record = received.subspan(kPortHeader, total);
    if (!RecordIsSound(record)) {
        return kErrorInternal;
    }
    RecordBlock block(static_cast<std::uint8_t*>(std::malloc(total)));
    if (!block) {
        return kErrorNotEnoughMemory;
    }
    std::memcpy(block.get(), record.data(), total);
    instance.queue.Push(std::move(block));
    return 0;
}

}  // namespace

void RunReceiver(const std::shared_ptr<Instance>& self) {
    Instance& instance = *self;
    std::vector<std::uint8_t> grown;  // the larger buffer, once a message did not fit
    std::uint8_t* buffer = instance.receiveBuffer.data();
    std::uint32_t size = kInitialReceiveBuffer;
    for (;;) {
        if (instance.stopping.load()) {
            return;
        }
        if (!instance.port) {
            SetLastError(kErrorInvalidHandle);
            return;
        }
        std::uint32_t received = 0;
        const platform::HRESULT result =
            user::GetMessage(instance.port, buffer, size, &received,
                             static_cast<std::uint32_t>(kLibraryWait.count()));
        if (instance.stopping.load()) {
            return;  // the port was closed under the receive on purpose
        }
        if (result == 0) {
            const std::uint32_t error = QueueRecord(instance, std::span(buffer, received));
            if (error != 0 && instance.RaiseStatus(VeskEventReceiveError, error, 1) == 0) {
                SetLastError(error);
                return;
            }
            continue;
        }
        const std::uint32_t error = ErrorFromResult(result);
        switch (error) {
            case kErrorWaitTimeout:
            case kErrorTimeout:
                instance.RaiseStatus(VeskEventIdle, error, 0);
                continue;
            case kErrorInvalidHandle:
            case kErrorPortGone:
                instance.RaiseStatus(VeskEventPortFailed, error, 0);
                SetLastError(error);
                return;
            case kErrorInsufficientBuffer:
            case kErrorMoreData: {
                const std::uint64_t wanted = received > size ? received : std::uint64_t{size} * 2;
                bool grew = wanted <= 0xFFFFFFFFu;
                if (grew) {
                    try {
                        grown.resize(wanted);
                    } catch (const std::bad_alloc&) {
                        grew = false;
                    }
                }
                if (!grew) {
                    instance.RaiseStatus(VeskEventReceiveError, kErrorNotEnoughMemory, 1);
                    SetLastError(kErrorNotEnoughMemory);
                    return;
                }
                buffer = grown.data();
                size = static_cast<std::uint32_t>(grown.size());
                continue;
            }
            default:
                // A receive that failed at once would fail again at once: pause before the next
                // try, but wake for a stop.
                if (instance.RaiseStatus(VeskEventReceiveError, error, 1) == 0) {
                    SetLastError(error);
                    return;
                }
                if (instance.queue.WaitForStop(kLibraryWait)) {
                    return;
                }
                continue;
        }
    }
}

}  // namespace vesk::engine
