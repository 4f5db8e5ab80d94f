// The single client of the port: its connection options, the categories it wants, the two
// threads of its own whose file activity is never reported, and the active flag.
//
// Capture code reads these from any thread without a lock, so each is an atomic; the connect,
// disconnect and command paths write them.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/port.h"
#include "platform/kernel/process.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

class EventQueue;

class ClientConnection {
public:
    explicit ClientConnection(EventQueue& queue) : queue_(queue) {}
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // The port's connect callback: refuses a second client (STATUS_PORT_CONNECTION_REFUSED) and a
    // context that is not 16 bytes (STATUS_INVALID_MESSAGE); takes a reference on each excluded
    // thread (a failed look-up refuses with its status and drops what was taken). Without a
    // context, the previous options and categories stay in force.
    kernel::NTSTATUS Connect(kernel::ClientPort* clientPort, const void* context,
                             std::uint32_t contextLength);

    // The port's disconnect callback: capture off, options and categories cleared, the client port
    // closed, the queue drained, the excluded-thread references released.
    void Disconnect();

    // Capture off and the queue drained; options and categories cleared, so that until the client
    // connects again with a context nothing is produced.
    void Deactivate();
    void SetActive() { active_.store(true); }

    // Clears active, options and categories and releases the excluded threads (unload).
    void Shutdown();

    bool IsActive() const { return active_.load(); }
    bool HasClient() const { return clientPort_.load() != nullptr; }
    std::uint32_t Options() const { return options_.load(); }
    std::uint32_t Categories() const { return categories_.load(); }
    bool IsExcludedThread(kernel::Thread* thread) const {
        return thread != nullptr &&
               (thread == excluded_[0].load() || thread == excluded_[1].load());
    }

    kernel::ClientPortSlot* PortSlot() { return &clientPort_; }

private:
    void ClearOptions();
    void ReleaseExcludedThreads();

    EventQueue& queue_;
    kernel::ClientPortSlot clientPort_{nullptr};
    std::atomic<bool> active_{false};
    std::atomic<std::uint32_t> options_{0};
    std::atomic<std::uint32_t> categories_{0};
    std::atomic<kernel::Thread*> excluded_[2] = {nullptr, nullptr};  // referenced
};

}  // namespace vesk::driver
