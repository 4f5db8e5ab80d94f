// The client end of the communication port's socket transport, which the user-mode face wraps.
//
// Any thread may send while another waits for notifications: there is no reading thread of its
// own. Whichever caller needs something from the socket and finds nobody reading reads frames
// itself and hands each to its owner (a reply to the sender waiting for that request id, a
// notification to the receive queue), until its own arrives; the others wait to be handed theirs
// or to take over the reading. Notifications are kept in the order they came; consumed ones are
// credited back to the server, which sends no more than the receive window ahead.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/status.h"

namespace port_socket {

struct ReceiveWindow {
    std::uint32_t messages = 8192;
    std::uint32_t bytes = 8 * 1024 * 1024;
};

class PortSocketClient {
  public:
    // Connects to the socket at path and hands the filter the connection context. The filter's
    // refusal, the server's (STATUS_ACCESS_DENIED) or the socket's (through the platform's errno
    // table: no socket is STATUS_OBJECT_NAME_NOT_FOUND) is returned.
    static kernel::NTSTATUS Connect(const std::string& path, const void* context,
                                    std::uint16_t contextLength, const ReceiveWindow& window,
                                    std::unique_ptr<PortSocketClient>* client);
    ~PortSocketClient();

    // A control message; blocks until the filter answered. output may be nullptr with capacity 0.
    // The filter's status is returned and *bytesReturned set; STATUS_PORT_DISCONNECTED once the
    // connection is gone; STATUS_INVALID_BUFFER_SIZE for a message or capacity above the bound.
    kernel::NTSTATUS SendMessage(const void* input, std::uint32_t inputLength, void* output,
                                 std::uint32_t outputCapacity, std::uint32_t* bytesReturned);

    // The next notification: the 16-byte header and the message in buffer, *received its size.
    // STATUS_BUFFER_TOO_SMALL with *received = the size needed leaves it queued. STATUS_TIMEOUT
    // after timeoutMs (negative: never); STATUS_PORT_DISCONNECTED when the connection ended and
    // nothing is left queued.
    kernel::NTSTATUS GetMessage(void* buffer, std::uint32_t capacity, std::uint32_t* received,
                                int timeoutMs);

    // Ends the connection: returns once the server has disconnected the client from the filter
    // (or after five seconds without its answer). Every call in progress or made later returns
    // STATUS_PORT_DISCONNECTED. Safe while other threads are inside the calls above; the
    // descriptor itself is closed by the destructor.
    void Close();

  private:
    struct Waiter {
        void* output;
        std::uint32_t capacity;
        bool done = false;
        kernel::NTSTATUS status = 0;
        std::uint32_t replyLength = 0;
    };
    struct Queued {
        std::shared_ptr<std::vector<std::uint8_t>> frame;
        std::uint32_t offset;
        std::uint32_t length;
    };

    PortSocketClient(int fd, const ReceiveWindow& window) : fd_(fd), window_(window) {}

    template <typename Ready>
    kernel::NTSTATUS WaitFor(std::unique_lock<std::mutex>& lock, Ready ready, int timeoutMs);
    bool Deliver(std::uint16_t type, std::uint64_t requestId,
                 std::shared_ptr<std::vector<std::uint8_t>> body);  // mutex_ held
    void Break(kernel::NTSTATUS status);                            // mutex_ held
    bool WriteFrame(std::uint16_t type, std::uint64_t requestId, const void* a,
                    std::uint32_t aLength, const void* b, std::uint32_t bLength, const void* c,
                    std::uint32_t cLength);

    const int fd_;
    const ReceiveWindow window_;
    std::mutex writeMutex_;  // one frame at a time; never taken while mutex_ is held

    std::mutex mutex_;
    std::condition_variable changed_;
    bool reading_ = false;                              // a caller is reading the socket
    kernel::NTSTATUS broken_ = kernel::STATUS_SUCCESS;  // why the connection ended, once it did
    bool closing_ = false;  // Close half-closed the socket and waits for the server's end
    std::map<std::uint64_t, Waiter*> waiters_;
    std::uint64_t nextRequestId_ = 1;
    std::deque<Queued> queue_;
    std::uint32_t unackedMessages_ = 0;
    std::uint32_t unackedBytes_ = 0;
};

}  // namespace port_socket
