#include "platform/kernel/port.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "face.h"
#include "platform/kernel/port_client.h"
#include "platform/kernel/security_descriptor.h"

namespace kernel {

class ServerPort {
  public:
    ServerPort(std::string name, void* cookie, const PortCallbacks& callbacks)
        : name_(std::move(name)), cookie_(cookie), callbacks_(callbacks) {}

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete this;
        }
    }

    // Rundown protection: a callback runs only between a successful Enter and its Exit, and
    // Close waits until none runs.
    bool EnterCallback() {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        ++activeCallbacks_;
        return true;
    }
    void ExitCallback() {
        std::lock_guard lock(mutex_);
        if (--activeCallbacks_ == 0) {
            idle_.notify_all();
        }
    }
    void CloseAndWait() {
        std::unique_lock lock(mutex_);
        closed_ = true;
        idle_.wait(lock, [this] { return activeCallbacks_ == 0; });
    }

    const std::string name_;
    void* const cookie_;
    const PortCallbacks callbacks_;
    std::mutex connectMutex_;             // connect callbacks run one at a time
    std::vector<std::uint8_t> security_;  // self-relative; empty when created without one

  private:
    std::atomic<int> refs_{1};
    std::mutex mutex_;
    std::condition_variable idle_;
    int activeCallbacks_ = 0;  // protected by mutex_
    bool closed_ = false;      // protected by mutex_
};

// A receive the client has pending; the sender fills it in.
struct PendingGet {
    void* buffer;
    std::uint32_t capacity;
    std::uint32_t received = 0;  // a batch: bytes used so far
    NTSTATUS status = STATUS_PENDING_GET;
    std::uint32_t maxCount = 0;  // 0: one notification; otherwise a batch of up to this many
    std::uint32_t count = 0;     // a batch: notifications taken so far
    static constexpr NTSTATUS STATUS_PENDING_GET = 0x00000103;
};

class ClientPort {
  public:
    explicit ClientPort(ServerPort* server) : server_(server) { server_->AddRef(); }
    ~ClientPort() { server_->Release(); }

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete this;
        }
    }

    ServerPort* const server_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PendingGet*> gets_;  // protected by mutex_
    bool closed_ = false;           // protected by mutex_
    bool closedByServer_ = false;   // protected by mutex_
    std::uint64_t nextMessageId_ = 1;

  private:
    std::atomic<int> refs_{1};
};

namespace {

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, ServerPort*>& Registry() {
    static std::map<std::string, ServerPort*> ports;
    return ports;
}

// Guards the filter's client-port slots against a concurrent close while a send picks up the
// pointer. Held only to read or swap a slot and take a reference.
std::mutex& SlotMutex() {
    static std::mutex mutex;
    return mutex;
}

void MarkClosed(ClientPort* port, bool byServer) {
    std::lock_guard lock(port->mutex_);
    port->closed_ = true;
    port->closedByServer_ = port->closedByServer_ || byServer;
    for (PendingGet* get : port->gets_) {
        get->status = STATUS_PORT_DISCONNECTED;
    }
    port->gets_.clear();
    port->changed_.notify_all();
}

class InProcessConnection final : public PortConnection {
  public:
    explicit InProcessConnection(ClientPort* port) : port_(port) {}
    ~InProcessConnection() override { Disconnect(); }

    NTSTATUS SendMessage(const void* input, std::uint32_t inputLength, void* output,
                         std::uint32_t outputLength, std::uint32_t* bytesReturned) override {
        if (bytesReturned != nullptr) {
            *bytesReturned = 0;
        }
        ClientPort* port = Acquire();
        if (port == nullptr) {
            return STATUS_PORT_DISCONNECTED;
        }
        bool closed;
        {
            std::lock_guard lock(port->mutex_);
            closed = port->closed_;
        }
        ServerPort* server = port->server_;
        if (closed || !server->EnterCallback()) {
            port->Release();
            return STATUS_PORT_DISCONNECTED;
        }
        std::uint32_t reply = 0;
        const NTSTATUS status = server->callbacks_.message(
            server->cookie_, inputLength != 0 ? input : nullptr, inputLength,
            outputLength != 0 ? output : nullptr, outputLength, &reply);
        server->ExitCallback();
        port->Release();
        if (bytesReturned != nullptr) {
            *bytesReturned = reply;
        }
        return status;
    }

    NTSTATUS GetMessage(void* buffer, std::uint32_t capacity, std::uint32_t* received,
                        const std::int64_t* timeout) override {
        *received = 0;
        PendingGet get{buffer, capacity};
        const NTSTATUS status = Wait(&get, timeout);
        *received = get.received;
        return status;
    }

    NTSTATUS GetMessages(void* buffer, std::uint32_t capacity, std::uint32_t maxCount,
                         std::uint32_t* used, std::uint32_t* count,
                         const std::int64_t* timeout) override {
        PendingGet get{buffer, capacity};
        get.maxCount = maxCount == 0 ? 1 : maxCount;
        NTSTATUS status = Wait(&get, timeout);
        if (get.count != 0) {
            status = STATUS_SUCCESS;  // what was taken is the caller's, whatever ended the wait
        }
        *used = get.received;
        *count = get.count;
        return status;
    }

    void Disconnect() override {
        ClientPort* port;
        {
            std::lock_guard lock(useMutex_);
            port = port_;
            port_ = nullptr;
        }
        if (port == nullptr) {
            return;
        }
        bool notify;
        {
            std::lock_guard lock(port->mutex_);
            notify = !port->closedByServer_;
        }
        MarkClosed(port, false);
        ServerPort* server = port->server_;
        if (notify && server->EnterCallback()) {
            server->callbacks_.disconnect(server->cookie_, port);
            server->ExitCallback();
        }
        port->Release();
    }

  private:
    // A referenced client port, or nullptr once disconnected. Calls in progress keep their own
    // reference, so Disconnect may run while another thread sends or waits for a notification.
    ClientPort* Acquire() {
        std::lock_guard lock(useMutex_);
        if (port_ != nullptr) {
            port_->AddRef();
        }
        return port_;
    }

    // Posts a receive and waits until a sender answered it (or, for a batch, put the first
    // notification into it), the time-out passed or the port closed.
    NTSTATUS Wait(PendingGet* get, const std::int64_t* timeout) {
        ClientPort* port = Acquire();
        if (port == nullptr) {
            return STATUS_PORT_DISCONNECTED;
        }
        NTSTATUS status;
        {
            std::unique_lock lock(port->mutex_);
            if (port->closed_) {
                status = STATUS_PORT_DISCONNECTED;
            } else {
                port->gets_.push_back(get);
                port->changed_.notify_all();
                detail::WaitWithTimeout(port->changed_, lock, timeout, [&] {
                    return get->status != PendingGet::STATUS_PENDING_GET || get->count != 0;
                });
                // A batch still offered to senders is withdrawn under the lock: nothing is
                // appended after this point.
                std::erase(port->gets_, get);
                status =
                    get->status == PendingGet::STATUS_PENDING_GET ? STATUS_TIMEOUT : get->status;
            }
        }
        port->Release();
        return status;
    }

    std::mutex useMutex_;
    ClientPort* port_;  // protected by useMutex_
};

}  // namespace

NTSTATUS CreateCommunicationPort(const char* name, void* portCookie, const PortCallbacks& callbacks,
                                 std::int32_t maxConnections, ServerPort** port) {
    return CreateCommunicationPort(name, kObjKernelHandle, nullptr, portCookie, callbacks,
                                   maxConnections, port);
}

NTSTATUS CreateCommunicationPort(const char* name, std::uint32_t,
                                 const SecurityDescriptor* securityDescriptor, void* portCookie,
                                 const PortCallbacks& callbacks, std::int32_t maxConnections,
                                 ServerPort** port) {
    if (name == nullptr || port == nullptr || callbacks.connect == nullptr ||
        callbacks.disconnect == nullptr || callbacks.message == nullptr || maxConnections < 1) {
        return STATUS_INVALID_PARAMETER;
    }
    std::vector<std::uint8_t> security;
    if (securityDescriptor != nullptr) {
        std::uint32_t length = 0;
        MakeSelfRelativeSecurityDescriptor(*securityDescriptor, nullptr, &length);
        security.resize(length);
        const NTSTATUS status =
            MakeSelfRelativeSecurityDescriptor(*securityDescriptor, security.data(), &length);
        if (!NtSuccess(status)) {
            return status;
        }
    }
    std::lock_guard lock(RegistryMutex());
    if (Registry().count(name) != 0) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    auto* server = new ServerPort(name, portCookie, callbacks);
    server->security_ = std::move(security);
    Registry()[name] = server;
    *port = server;
    return STATUS_SUCCESS;
}

NTSTATUS QueryCommunicationPortSecurity(const char* name, void* buffer, std::uint32_t length,
                                        std::uint32_t* needed) {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(name);
    if (it == Registry().end()) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    const std::vector<std::uint8_t>& security = it->second->security_;
    *needed = static_cast<std::uint32_t>(security.size());
    if (length < security.size()) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (!security.empty()) {
        std::memcpy(buffer, security.data(), security.size());
    }
    return STATUS_SUCCESS;
}

void CloseCommunicationPort(ServerPort* port) {
    {
        std::lock_guard lock(RegistryMutex());
        Registry().erase(port->name_);
    }
    port->CloseAndWait();
    port->Release();
}

void CloseClientPort(ClientPortSlot* clientPortSlot) {
    ClientPort* port;
    {
        std::lock_guard lock(SlotMutex());
        port = clientPortSlot->exchange(nullptr);
    }
    if (port != nullptr) {
        MarkClosed(port, true);
        port->Release();  // the reference the filter held since the connect
    }
}

NTSTATUS SendMessage(ClientPortSlot* clientPortSlot, const void* buffer, std::uint32_t length,
                     const std::int64_t* timeout) {
    ClientPort* port;
    {
        std::lock_guard lock(SlotMutex());
        port = clientPortSlot->load();
        if (port == nullptr) {
            return STATUS_PORT_DISCONNECTED;
        }
        port->AddRef();
    }
    const std::uint32_t needed = kPortMessageHeaderSize + length;
    NTSTATUS status = STATUS_TIMEOUT;
    {
        std::unique_lock lock(port->mutex_);
        for (;;) {
            const bool ready = detail::WaitWithTimeout(port->changed_, lock, timeout, [&] {
                return port->closed_ || !port->gets_.empty();
            });
            if (port->closed_) {
                status = STATUS_PORT_DISCONNECTED;
                break;
            }
            if (!ready) {
                status = STATUS_TIMEOUT;
                break;
            }
            PendingGet* get = port->gets_.front();
            if (get->maxCount != 0) {
                // A batch receive: append while it has room; the receiver withdraws it when it
                // wakes up, so only the first append needs to wake it.
                const std::uint32_t entry = 4 + needed;
                if (get->capacity - get->received < entry) {
                    port->gets_.pop_front();
                    if (get->count == 0) {
                        get->received = entry;
                        get->status = STATUS_BUFFER_TOO_SMALL;
                    } else {
                        get->status = STATUS_SUCCESS;
                    }
                    port->changed_.notify_all();
                    continue;
                }
                auto* out = static_cast<std::uint8_t*>(get->buffer) + get->received;
                std::memcpy(out, &needed, 4);
                std::memset(out + 4, 0, kPortMessageHeaderSize);
                const std::uint64_t id = port->nextMessageId_++;
                std::memcpy(out + 4 + 8, &id, sizeof id);
                std::memcpy(out + 4 + kPortMessageHeaderSize, buffer, length);
                get->received += entry;
                if (++get->count == get->maxCount) {
                    port->gets_.pop_front();
                    get->status = STATUS_SUCCESS;
                }
                if (get->count == 1 || get->status == STATUS_SUCCESS) {
                    port->changed_.notify_all();
                }
                status = STATUS_SUCCESS;
                break;
            }
            port->gets_.pop_front();
            get->received = needed;
            if (get->capacity < needed) {
                // The receiver grows its buffer and asks again; the message stays with us.
                get->status = STATUS_BUFFER_TOO_SMALL;
                port->changed_.notify_all();
                continue;
            }
            auto* out = static_cast<std::uint8_t*>(get->buffer);
            std::memset(out, 0, kPortMessageHeaderSize);  // reply length 0: no reply expected
            const std::uint64_t id = port->nextMessageId_++;
            std::memcpy(out + 8, &id, sizeof id);
            std::memcpy(out + kPortMessageHeaderSize, buffer, length);
            get->status = STATUS_SUCCESS;
            port->changed_.notify_all();
            status = STATUS_SUCCESS;
            break;
        }
    }
    port->Release();
    return status;
}

NTSTATUS ConnectCommunicationPort(const char* name, const void* context,
                                  std::uint16_t contextLength,
                                  std::unique_ptr<PortConnection>* connection) {
    ServerPort* server;
    {
        std::lock_guard lock(RegistryMutex());
        auto it = Registry().find(name);
        if (it == Registry().end()) {
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        server = it->second;
        server->AddRef();
    }
    NTSTATUS status = STATUS_PORT_DISCONNECTED;
    auto* port = new ClientPort(server);  // holds its own reference on the server port
    if (server->EnterCallback()) {
        {
            std::lock_guard serial(server->connectMutex_);
            port->AddRef();  // the filter's reference, kept when it accepts
            status = server->callbacks_.connect(
                server->cookie_, port, contextLength != 0 ? context : nullptr, contextLength);
            if (!NtSuccess(status)) {
                port->Release();
            }
        }
        server->ExitCallback();
    }
    server->Release();  // the look-up's reference
    if (!NtSuccess(status)) {
        port->Release();
        return status;
    }
    *connection = std::make_unique<InProcessConnection>(port);
    return STATUS_SUCCESS;
}

std::vector<std::string> ServerPortNames() {
    std::lock_guard lock(RegistryMutex());
    std::vector<std::string> names;
    for (const auto& entry : Registry()) {
        names.push_back(entry.first);
    }
    return names;
}

}  // namespace kernel
