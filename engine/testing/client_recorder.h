// What a client's callbacks saw, for the library's tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine_fixture.h"

namespace vesk::testing {

struct ClientRecorder {
    struct Event {
        std::uint32_t code;
        std::uint32_t value;
        std::uintptr_t parameter;
    };

    std::mutex mutex;
    std::vector<std::string> names;  // file-system records, in the order delivered
    std::vector<std::string> processNames;
    std::vector<std::thread::id> threads;
    std::vector<void*> arguments;
    std::vector<Event> events;
    std::atomic<int> delivered{0};
    std::atomic<VeskBool> receiveErrorAnswer{1};
    void* startArgument = nullptr;  // stored through event 4's parameter when set

    static VeskBool Status(void* context, std::uint32_t event, std::uint32_t value,
                           std::uintptr_t parameter) {
        auto* self = static_cast<ClientRecorder*>(context);
        std::lock_guard lock(self->mutex);
        self->events.push_back({event, value, parameter});
        if (event == VeskEventThreadStart && self->startArgument != nullptr) {
            *reinterpret_cast<void**>(parameter) = self->startArgument;
        }
        return event == VeskEventReceiveError ? self->receiveErrorAnswer.load() : 1;
    }
    static void File(void* argument, const VeskNotification* n, const VeskOperationData*) {
        auto* self = static_cast<ClientRecorder*>(argument);
        {
            std::lock_guard lock(self->mutex);
            self->names.push_back(Narrow(n->Name));
            self->threads.push_back(std::this_thread::get_id());
            self->arguments.push_back(argument);
        }
        ++self->delivered;
    }
    static void Process(void* argument, const VeskNotification* n, const VeskOperationData*) {
        auto* self = static_cast<ClientRecorder*>(argument);
        {
            std::lock_guard lock(self->mutex);
            self->processNames.push_back(Narrow(n->Name));
        }
        ++self->delivered;
    }

    std::vector<Event> Events(std::uint32_t code) {
        std::lock_guard lock(mutex);
        std::vector<Event> found;
        for (const Event& e : events) {
            if (e.code == code) {
                found.push_back(e);
            }
        }
        return found;
    }
    std::vector<std::string> Names() {
        std::lock_guard lock(mutex);
        return names;
    }
};

}  // namespace vesk::testing
