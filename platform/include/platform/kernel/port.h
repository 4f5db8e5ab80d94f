// The communication port between a filter and its user-mode client.
//
// The filter creates a named server port with three callbacks. A client connects with an
// optional context, sends control messages that the message callback answers synchronously in the
// client's thread, and receives the filter's notifications. Notifications are handed over only
// when the client has a receive pending: the filter's send waits for one, up to its time-out.
//
// Connect callbacks of one server port run one at a time, so "is a client connected?" decisions
// inside them need no lock of their own. The disconnect callback runs once per connection when
// the client goes away, unless the filter closed the client port first. Closing the server port
// waits until no callback of it is running; none runs afterwards.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/status.h"

namespace kernel {

class ServerPort;
class ClientPort;

// Where a filter keeps its connected client. Capture code reads it on any thread; the port's
// own operations swap it.
using ClientPortSlot = std::atomic<ClientPort*>;

struct PortCallbacks {
    // Accepts (STATUS_SUCCESS) or refuses a client. context may be nullptr (length 0).
    NTSTATUS (*connect)(void* portCookie, ClientPort* clientPort, const void* context,
                        std::uint32_t contextLength);
    void (*disconnect)(void* portCookie, ClientPort* clientPort);
    NTSTATUS (*message)(void* portCookie, const void* input, std::uint32_t inputLength, void* output,
                        std::uint32_t outputLength, std::uint32_t* replyLength);
};

// Fails with STATUS_OBJECT_NAME_COLLISION when the name is taken.
NTSTATUS CreateCommunicationPort(const char* name, void* portCookie, const PortCallbacks& callbacks,
                                 std::int32_t maxConnections, ServerPort** port);

// The same with object attributes (kObjKernelHandle: the port's handle is the kernel's) and the
// security descriptor that says who may connect. The port keeps its own self-relative copy, so
// the caller may free the descriptor's parts once this returns.
constexpr std::uint32_t kObjKernelHandle = 0x200;
struct SecurityDescriptor;
NTSTATUS CreateCommunicationPort(const char* name, std::uint32_t attributes,
                                 const SecurityDescriptor* securityDescriptor, void* portCookie,
                                 const PortCallbacks& callbacks, std::int32_t maxConnections,
                                 ServerPort** port);

// The self-relative descriptor of the named port (length 0 when it has none). *needed receives
// its length; STATUS_BUFFER_TOO_SMALL when it does not fit, STATUS_OBJECT_NAME_NOT_FOUND when no
// port has the name.
NTSTATUS QueryCommunicationPortSecurity(const char* name, void* buffer, std::uint32_t length,
                                        std::uint32_t* needed);
void CloseCommunicationPort(ServerPort* port);

// Closes a connection from the filter's side and empties the slot that held it. The client then
// sees STATUS_PORT_DISCONNECTED. Safe against a concurrent SendMessage on the same slot.
void CloseClientPort(ClientPortSlot* clientPortSlot);

// Offers one notification to the client in *clientPortSlot. Waits for a pending receive up to the
// time-out (nullptr: forever; negative: relative, 100 ns units). The client receives a 16-byte
// message header followed by the buffer.
// STATUS_SUCCESS: taken. STATUS_TIMEOUT: no receive came in time; the caller still owns the
// buffer. STATUS_PORT_DISCONNECTED: no client, or it went away.
NTSTATUS SendMessage(ClientPortSlot* clientPortSlot, const void* buffer, std::uint32_t length,
                     const std::int64_t* timeout);

// Size of the header in front of every received notification.
constexpr std::uint32_t kPortMessageHeaderSize = 16;

}  // namespace kernel
