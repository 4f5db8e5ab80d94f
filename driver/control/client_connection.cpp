#include "client_connection.h"

#include <cstring>

#include "queue/event_queue.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS ClientConnection::Connect(ClientPort* clientPort, const void* context,
                                   std::uint32_t contextLength) {
    if (clientPort_.load() != nullptr) {
        return STATUS_PORT_CONNECTION_REFUSED;
    }
    if (context != nullptr && contextLength != 0) {
        if (contextLength != sizeof(wire::ConnectionContext)) {
            return STATUS_INVALID_MESSAGE;
        }
        wire::ConnectionContext ctx;
        std::memcpy(&ctx, context, sizeof ctx);
        Thread* first = nullptr;
        Thread* second = nullptr;
        NTSTATUS status = LookupThreadByThreadId(ctx.ExcludedThreadId1, &first);
        if (NtSuccess(status)) {
            status = LookupThreadByThreadId(ctx.ExcludedThreadId2, &second);
            if (!NtSuccess(status)) {
                DereferenceObject(first);
            }
        }
        if (!NtSuccess(status)) {
            return status;
        }
        ReleaseExcludedThreads();  // a client that connected before without disconnecting cleanly
        options_.store(ctx.ConnectOptions);
        categories_.store(ctx.Categories);
        excluded_[0].store(first);
        excluded_[1].store(second);
    }
    clientPort_.store(clientPort);
    return STATUS_SUCCESS;
}

void ClientConnection::Disconnect() {
    ClearOptions();
    CloseClientPort(&clientPort_);
    queue_.Drain();
    ReleaseExcludedThreads();
}

void ClientConnection::Deactivate() {
    ClearOptions();
    queue_.Drain();
}

void ClientConnection::Shutdown() {
    ClearOptions();
    ReleaseExcludedThreads();
}

void ClientConnection::ClearOptions() {
    active_.store(false);
    options_.store(0);
    categories_.store(0);
}

void ClientConnection::ReleaseExcludedThreads() {
    for (auto& slot : excluded_) {
        if (Thread* thread = slot.exchange(nullptr)) {
            DereferenceObject(thread);
        }
    }
}

}  // namespace vesk::driver
