// The dispatch thread: the one thread on which every notification callback runs, one record at a
// time, in the order the records were queued.

#include <cstring>
#include <span>

#include "instance.h"
#include "records.h"
#include "wire/port_wire.h"

namespace vesk::engine {

void RunDispatcher(const std::shared_ptr<Instance>& self) {
    Instance& instance = *self;
    void* argument = instance.context;  // the client may replace it at the start event
    instance.RaiseStatus(VeskEventThreadStart, 0, reinterpret_cast<std::uintptr_t>(&argument));
    const std::uint32_t exitCode = 0;
    while (instance.queue.Wait() == RecordQueue::Wake::kQueued) {
        if (instance.stopping.load()) {
            continue;  // the stop signal ends the wait next time round
        }
        while (RecordBlock block = instance.queue.Pop()) {
            std::uint32_t category;
            std::memcpy(&category, block.get() + offsetof(wire::NotificationHeader, Category),
                        sizeof category);
            // Records of other categories are dropped without a callback.
            const VeskNotificationCallback callback =
                category == wire::VeskCategoryProcess      ? instance.processCallback
                : category == wire::VeskCategoryFileSystem ? instance.fileCallback
                                                           : nullptr;
            if (callback != nullptr) {
                std::uint32_t total;
                std::memcpy(&total, block.get() + offsetof(wire::NotificationHeader, TotalLength),
                            sizeof total);
                FillClientRecords(std::span<const std::uint8_t>(block.get(), total),
                                  &instance.scratchNotification, &instance.scratchData);
                callback(argument, &instance.scratchNotification, &instance.scratchData);
            }
            block.reset();
            if (instance.stopping.load()) {
                break;
            }
        }
    }
    instance.RaiseStatus(VeskEventThreadStop, exitCode, reinterpret_cast<std::uintptr_t>(argument));
}

}  // namespace vesk::engine
