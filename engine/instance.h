// The state of one initialised library (one per process at a time) and its two threads.
//
// VeskInitialize creates an Instance; the receiver and dispatch threads each hold a reference,
// so a thread that outlives VeskUninitialize (a callback that would not return in time) still
// finds everything it uses, and frees it when it ends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/user/port.h"
#include "record_queue.h"
#include "vesk/vesklib.h"

namespace vesk::engine {

inline constexpr char16_t kPortName[] = u"\\TallowmereVeskPort";
inline constexpr std::uint32_t kInitialReceiveBuffer = 0x10000;
// The receiver's wait for a message, its pause after a failed receive, and the longest
// VeskUninitialize waits for the threads.
inline constexpr std::chrono::milliseconds kLibraryWait{50'000};

struct Instance {
    enum class Start { kWaiting, kGo, kAbort };

    std::uint32_t mode = 0;
    VeskStatusCallback statusCallback = nullptr;
    VeskNotificationCallback fileCallback = nullptr;
    VeskNotificationCallback processCallback = nullptr;
    void* context = nullptr;

    user::PortHandle port;  // set before the threads are let go, closed by shutdown
    std::atomic<bool> stopping{false};
    RecordQueue queue;

    // Start gate: the threads are created first (their ids go into the connection context) and
    // run only once the connection stands.
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    Start start = Start::kWaiting;       // protected by gateMutex
    std::uint32_t receiverThreadId = 0;  // protected by gateMutex
    std::uint32_t dispatchThreadId = 0;
    bool receiverEnded = false;
    bool dispatcherEnded = false;

    // The receiver's initial buffer; a larger one replaces it when a message does not fit.
    std::vector<std::uint8_t> receiveBuffer = std::vector<std::uint8_t>(kInitialReceiveBuffer);
    // The client view, reused for every record (dispatch thread only).
    VeskNotification scratchNotification{};
    VeskOperationData scratchData{};

    // The status callback's answer, 0 when there is none.
    VeskBool RaiseStatus(std::uint32_t event, std::uint32_t value, std::uintptr_t parameter) const {
        return statusCallback != nullptr ? statusCallback(context, event, value, parameter) : 0;
    }
};

void RunReceiver(const std::shared_ptr<Instance>& instance);
void RunDispatcher(const std::shared_ptr<Instance>& instance);

// The initialised library's connection, for requests from any thread; empty when there is none.
user::PortHandle LibraryPort();
void SetLibraryPort(user::PortHandle port);

}  // namespace vesk::engine
