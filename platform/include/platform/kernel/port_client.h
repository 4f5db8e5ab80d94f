// The client end of a communication port, for a client in the same address space: the tests'
// client, and the transport that carries a remote client's requests over a socket.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/status.h"

namespace kernel {

class PortConnection {
  public:
    virtual ~PortConnection() = default;

    // Sends a control message; the filter's message callback answers in this thread.
    virtual NTSTATUS SendMessage(const void* input, std::uint32_t inputLength, void* output,
                                 std::uint32_t outputLength, std::uint32_t* bytesReturned) = 0;

    // Waits for the next notification (nullptr time-out: forever). On success buffer holds the
    // 16-byte message header followed by the notification and *received its total size. When the
    // notification does not fit, STATUS_BUFFER_TOO_SMALL with *received = the size needed; the
    // notification stays with the filter, to be taken by a later call with a larger buffer.
    // STATUS_TIMEOUT when nothing came; STATUS_PORT_DISCONNECTED when the port closed.
    virtual NTSTATUS GetMessage(void* buffer, std::uint32_t capacity, std::uint32_t* received,
                                const std::int64_t* timeout) = 0;

    // Like GetMessage, but takes up to maxCount notifications in one wait, for a transport that
    // forwards them in batches. They are packed one after another into buffer, each as a 4-byte
    // little-endian entry length, then the 16-byte header and the notification (the entry length
    // counts the header and the notification). Returns as soon as at least one was taken; the
    // filter's sends that come while the receiver wakes up are appended until the buffer or
    // maxCount is full. When the first notification alone does not fit: STATUS_BUFFER_TOO_SMALL
    // with *used = the entry size needed, and the notification stays with the filter.
    virtual NTSTATUS GetMessages(void* buffer, std::uint32_t capacity, std::uint32_t maxCount,
                                 std::uint32_t* used, std::uint32_t* count,
                                 const std::int64_t* timeout) = 0;

    // Ends the connection (also done by destruction). Pending receives end with
    // STATUS_PORT_DISCONNECTED.
    virtual void Disconnect() = 0;
};

// The names of the server ports open right now, for a transport that serves each of them.
std::vector<std::string> ServerPortNames();

NTSTATUS ConnectCommunicationPort(const char* name, const void* context,
                                  std::uint16_t contextLength,
                                  std::unique_ptr<PortConnection>* connection);

}  // namespace kernel
