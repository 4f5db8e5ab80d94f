// VeskInitialize and VeskUninitialize: the library's lifecycle.
//
// The lifecycle state changes only by atomic compare-exchange: 0 not initialised, 1 initialised,
// 2 a transition in progress. A call that finds another state fails with 5023 and changes
// nothing, so a second VeskInitialize, or one racing a VeskUninitialize, is refused.

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

#include "instance.h"
#include "last_error.h"
#include "wire/port_wire.h"

namespace vesk::engine {

namespace {

enum : std::uint32_t { kNotInitialized = 0, kInitialized = 1, kInTransition = 2 };

// Library-wide state. Allocated once and never freed, so that the clean-up at process exit,
// which runs after static objects are destroyed, still finds it.
struct Library {
    std::atomic<std::uint32_t> state{kNotInitialized};
    std::shared_ptr<Instance> current;  // written only by the thread holding the transition
    std::thread receiver;
    std::thread dispatcher;
    std::mutex portMutex;
    user::PortHandle port;  // protected by portMutex
};

Library& L() {
    static Library* library = new Library;
    return *library;
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

enum class Role { kReceiver, kDispatcher };

void ThreadMain(std::shared_ptr<Instance> instance, Role role) {
    Instance& in = *instance;
    bool go;
    {
        std::unique_lock lock(in.gateMutex);
        (role == Role::kReceiver ? in.receiverThreadId : in.dispatchThreadId) = CurrentThreadId();
        in.gateChanged.notify_all();
        in.gateChanged.wait(lock, [&] { return in.start != Instance::Start::kWaiting; });
        go = in.start == Instance::Start::kGo;
    }
    if (go) {
        if (role == Role::kReceiver) {
            RunReceiver(instance);
        } else {
            RunDispatcher(instance);
        }
    }
    std::lock_guard lock(in.gateMutex);
    (role == Role::kReceiver ? in.receiverEnded : in.dispatcherEnded) = true;
    in.gateChanged.notify_all();
}

void OpenGate(Instance& instance, Instance::Start start) {
    std::lock_guard lock(instance.gateMutex);
    instance.start = start;
    instance.gateChanged.notify_all();
}

// Undoes a failed initialisation: the threads never ran the library's loops and end at once.
void Abandon(const std::shared_ptr<Instance>& instance) {
    Library& library = L();
    if (instance) {
        OpenGate(*instance, Instance::Start::kAbort);
        if (instance->port) {
            user::ClosePort(instance->port);
        }
    }
    if (library.receiver.joinable()) {
        library.receiver.join();
    }
    if (library.dispatcher.joinable()) {
        library.dispatcher.join();
    }
    library.current.reset();
}

VeskBool Initialize(std::uint32_t mode, VeskStatusCallback statusCallback,
                    VeskNotificationCallback fileCallback, VeskNotificationCallback processCallback,
                    void* context) {
    Library& library = L();
    std::uint32_t expected = kNotInitialized;
    if (!library.state.compare_exchange_strong(expected, kInTransition)) {
        SetLastError(kErrorInvalidState);
        return 0;
    }
    std::uint32_t error = 0;
    std::shared_ptr<Instance> instance;
    try {
        instance = std::make_shared<Instance>();
        instance->mode = mode;
        instance->statusCallback = statusCallback;
        instance->fileCallback = fileCallback;
        instance->processCallback = processCallback;
        instance->context = context;
        library.receiver = std::thread(ThreadMain, instance, Role::kReceiver);
        library.dispatcher = std::thread(ThreadMain, instance, Role::kDispatcher);
    } catch (const std::bad_alloc&) {
        error = kErrorNotEnoughMemory;
    } catch (const std::system_error& e) {
        error = platform::Win32FromErrno(e.code().value());
    }
    if (error == 0) {
        wire::ConnectionContext connection{};
        {
            std::unique_lock lock(instance->gateMutex);
            instance->gateChanged.wait(lock, [&] {
                return instance->receiverThreadId != 0 && instance->dispatchThreadId != 0;
            });
            connection.ConnectOptions = mode;
            connection.Categories =
                (fileCallback != nullptr ? std::uint32_t{wire::VeskWantFileSystem} : 0u) |
                (processCallback != nullptr ? std::uint32_t{wire::VeskWantProcess} : 0u);
            connection.ExcludedThreadId1 = instance->dispatchThreadId;
            connection.ExcludedThreadId2 = instance->receiverThreadId;
        }
        const platform::HRESULT result = user::ConnectCommunicationPort(
            kPortName, &connection, sizeof connection, &instance->port);
        if (result != 0) {
            error = ErrorFromResult(result);
        }
    }
    if (error != 0) {
        Abandon(instance);
        library.state.store(kNotInitialized);
        SetLastError(error);
        return 0;
    }
    library.current = instance;
    SetLibraryPort(instance->port);
    OpenGate(*instance, Instance::Start::kGo);
    library.state.store(kInitialized);
    SetLastError(0);
    return 1;
}

VeskBool Uninitialize() {
    Library& library = L();
    std::uint32_t expected = kInitialized;
    if (!library.state.compare_exchange_strong(expected, kInTransition)) {
        SetLastError(kErrorInvalidState);
        return 0;
    }
    std::shared_ptr<Instance> instance = std::move(library.current);
    instance->stopping.store(true);
    instance->queue.SignalStop();
    SetLibraryPort(nullptr);
    user::ClosePort(instance->port);  // the pending receive ends

    // A thread cannot be ended from outside: one that does not finish in time (a callback that
    // does not return, or the caller itself) is left to end on its own; it holds the instance.
    const std::uint32_t self = CurrentThreadId();
    {
        std::unique_lock lock(instance->gateMutex);
        instance->gateChanged.wait_for(lock, kLibraryWait, [&] {
            return (instance->receiverEnded || instance->receiverThreadId == self) &&
                   (instance->dispatcherEnded || instance->dispatchThreadId == self);
        });
    }
    bool receiverEnded;
    bool dispatcherEnded;
    {
        std::lock_guard lock(instance->gateMutex);
        receiverEnded = instance->receiverEnded;
        dispatcherEnded = instance->dispatcherEnded;
    }
    receiverEnded ? library.receiver.join() : library.receiver.detach();
    dispatcherEnded ? library.dispatcher.join() : library.dispatcher.detach();

    instance->queue.Clear();  // records not delivered yet are discarded
    instance.reset();
    library.state.store(kNotInitialized);
    SetLastError(0);
    return 1;
}

// Unloading the library, or the process ending, stops an initialised library.
__attribute__((destructor)) void UninitializeAtUnload() {
    if (L().state.load() == kInitialized) {
        Uninitialize();
    } else {
        SetLastError(kErrorInvalidState);
    }
}

}  // namespace

user::PortHandle LibraryPort() {
    std::lock_guard lock(L().portMutex);
    return L().port;
}

void SetLibraryPort(user::PortHandle port) {
    std::lock_guard lock(L().portMutex);
    L().port = std::move(port);
}

}  // namespace vesk::engine

extern "C" {

VESK_API VeskBool VeskInitialize(uint32_t mode, VeskStatusCallback statusCallback,
                                 VeskNotificationCallback fileCallback,
                                 VeskNotificationCallback processCallback, void* context) {
    return vesk::engine::Initialize(mode, statusCallback, fileCallback, processCallback, context);
}

VESK_API VeskBool VeskUninitialize(void) {
    return vesk::engine::Uninitialize();
}

}  // extern "C"
