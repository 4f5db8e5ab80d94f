#include "port_socket_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "frames.h"
#include "platform/error_table.h"
#include "socket_io.h"

namespace port_socket {

using kernel::NTSTATUS;
using Clock = std::chrono::steady_clock;

namespace {

// How long a connect waits for the server's answer before giving up.
constexpr int kConnectReplyTimeoutMs = 60'000;
// How long a close waits for the server to confirm the disconnect.
constexpr int kCloseTimeoutMs = 5'000;

bool ReadFrame(int fd, FrameHeader* header, std::vector<std::uint8_t>* body) {
    if (!ReadAll(fd, header, sizeof *header)) {
        return false;
    }
    if (header->bodyLength > kMaxFrameBody) {
        errno = EPROTO;
        return false;
    }
    body->resize(header->bodyLength);
    return header->bodyLength == 0 || ReadAll(fd, body->data(), header->bodyLength);
}

}  // namespace

NTSTATUS PortSocketClient::Connect(const std::string& path, const void* context,
                                   std::uint16_t contextLength, const ReceiveWindow& window,
                                   std::unique_ptr<PortSocketClient>* client) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return platform::NtStatusFromErrno(ENAMETOOLONG);
    }
    if (context == nullptr) {
        contextLength = 0;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return platform::NtStatusFromErrno(errno);
    }
    std::unique_ptr<PortSocketClient> made(new PortSocketClient(fd, window));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return platform::NtStatusFromErrno(errno);
    }
    const ConnectBody body{kProtocolVersion, window.messages, window.bytes, contextLength, 0};
    if (!made->WriteFrame(kFrameConnect, 0, &body, sizeof body, context, contextLength, nullptr,
                          0)) {
        return kernel::STATUS_PORT_DISCONNECTED;
    }
    FrameHeader header{};
    std::vector<std::uint8_t> reply;
    const int ready = WaitReadable(fd, kConnectReplyTimeoutMs);
    if (ready == 0) {
        return kernel::STATUS_TIMEOUT;
    }
    if (ready < 0 || !ReadFrame(fd, &header, &reply)) {
        return kernel::STATUS_PORT_DISCONNECTED;
    }
    ConnectReplyBody answer{};
    if (header.type != kFrameConnectReply || reply.size() != sizeof answer) {
        return kernel::STATUS_BAD_DATA;
    }
    std::memcpy(&answer, reply.data(), sizeof answer);
    if (!kernel::NtSuccess(answer.status)) {
        return answer.status;
    }
    *client = std::move(made);
    return kernel::STATUS_SUCCESS;
}

PortSocketClient::~PortSocketClient() {
    close(fd_);
}

void PortSocketClient::Close() {
    std::unique_lock lock(mutex_);
    if (broken_ == kernel::STATUS_SUCCESS) {
        // Half-close and wait for the server to end its side, which it does once the filter has
        // seen the client leave: a connection made right after this one returns is not refused
        // as a second client. Whoever reads meanwhile still hands out what arrives.
        closing_ = true;
        shutdown(fd_, SHUT_WR);
        WaitFor(
            lock, [] { return false; }, kCloseTimeoutMs);
    }
    Break(kernel::STATUS_PORT_DISCONNECTED);
}

void PortSocketClient::Break(NTSTATUS status) {
    if (broken_ == kernel::STATUS_SUCCESS) {
        broken_ = status;
        shutdown(fd_, SHUT_RDWR);  // wakes a reader blocked on the socket
    }
    changed_.notify_all();
}

bool PortSocketClient::WriteFrame(std::uint16_t type, std::uint64_t requestId, const void* a,
                                  std::uint32_t aLength, const void* b, std::uint32_t bLength,
                                  const void* c, std::uint32_t cLength) {
    FrameHeader header{aLength + bLength + cLength, type, 0, requestId};
    iovec iov[4] = {{&header, sizeof header},
                    {const_cast<void*>(a), aLength},
                    {const_cast<void*>(b), bLength},
                    {const_cast<void*>(c), cLength}};
    std::lock_guard lock(writeMutex_);
    return WriteAll(fd_, iov, 4);
}

// Hands one frame to its owner. False when the frame breaks the protocol.
bool PortSocketClient::Deliver(std::uint16_t type, std::uint64_t requestId,
                               std::shared_ptr<std::vector<std::uint8_t>> body) {
    if (type == kFrameNotify) {
        // Every entry is checked before any is queued: a damaged frame queues nothing.
        const auto size = static_cast<std::uint32_t>(body->size());
        std::uint32_t at = 0;
        std::size_t first = queue_.size();
        while (at < size) {
            std::uint32_t length = 0;
            if (size - at < 4) {
                break;
            }
            std::memcpy(&length, body->data() + at, 4);
            if (length < kMessageHeaderLength || length > size - at - 4) {
                break;
            }
            queue_.push_back(Queued{body, at + 4, length});
            at += 4 + length;
        }
        if (at != size || size == 0) {
            queue_.resize(first);
            return false;
        }
        return true;
    }
    if (type == kFrameSendReply) {
        auto it = waiters_.find(requestId);
        SendReplyBody reply{};
        if (it == waiters_.end() || body->size() < sizeof reply) {
            return false;
        }
        std::memcpy(&reply, body->data(), sizeof reply);
        Waiter* waiter = it->second;
        if (reply.outputLength != body->size() - sizeof reply ||
            reply.outputLength > waiter->capacity || reply.replyLength > reply.outputLength) {
            return false;
        }
        if (reply.outputLength != 0) {
            std::memcpy(waiter->output, body->data() + sizeof reply, reply.outputLength);
        }
        waiter->status = reply.status;
        waiter->replyLength = reply.replyLength;
        waiter->done = true;
        waiters_.erase(it);
        return true;
    }
    return false;
}

// Waits until ready() holds, reading the socket whenever nobody else does. Returns
// STATUS_SUCCESS when ready, STATUS_TIMEOUT, or the reason the connection ended.
template <typename Ready>
NTSTATUS PortSocketClient::WaitFor(std::unique_lock<std::mutex>& lock, Ready ready, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    auto remaining = [&]() -> int {
        if (timeoutMs < 0) {
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<int>(left);
    };
    bool tried = false;  // a zero time-out still looks at the socket once
    while (!ready()) {
        if (broken_ != kernel::STATUS_SUCCESS) {
            return broken_;
        }
        if (reading_) {
            if (timeoutMs < 0) {
                changed_.wait(lock);
            } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !ready() &&
                       broken_ == kernel::STATUS_SUCCESS && reading_) {
                return kernel::STATUS_TIMEOUT;
            }
            continue;
        }
        const int wait = remaining();
        if (timeoutMs >= 0 && wait == 0 && tried) {
            return kernel::STATUS_TIMEOUT;
        }
        tried = true;
        reading_ = true;
        lock.unlock();
        FrameHeader header{};
        auto body = std::make_shared<std::vector<std::uint8_t>>();
        const int readable = WaitReadable(fd_, wait);
        bool read = false;
        int error = 0;
        if (readable == 1) {
            read = ReadFrame(fd_, &header, body.get());
            error = errno;
        }
        lock.lock();
        reading_ = false;
        changed_.notify_all();  // somebody else may take over the reading
        if (readable == 0) {
            continue;  // the deadline is checked above
        }
        if (readable < 0 || !read) {
            Break(error == EPROTO ? kernel::STATUS_BAD_DATA : kernel::STATUS_PORT_DISCONNECTED);
            continue;
        }
        if (!Deliver(header.type, header.requestId, std::move(body))) {
            Break(kernel::STATUS_BAD_DATA);
        }
    }
    return kernel::STATUS_SUCCESS;
}

NTSTATUS PortSocketClient::SendMessage(const void* input, std::uint32_t inputLength, void* output,
                                       std::uint32_t outputCapacity, std::uint32_t* bytesReturned) {
    std::uint32_t ignored = 0;
    if (bytesReturned == nullptr) {
        bytesReturned = &ignored;
    }
    *bytesReturned = 0;
    if (output == nullptr) {
        outputCapacity = 0;
    }
    if (input == nullptr) {
        inputLength = 0;
    }
    if (inputLength > kMaxMessageLength || outputCapacity > kMaxMessageLength) {
        return kernel::STATUS_INVALID_BUFFER_SIZE;
    }
    Waiter waiter{output, outputCapacity};
    // The start of the output buffer travels from a copy: once the waiter is registered, the
    // reader may fill the buffer itself.
    const SendBody body{outputCapacity, std::min(outputCapacity, kOutputPrefixLength)};
    std::uint8_t prefix[kOutputPrefixLength];
    if (body.outputPrefixLength != 0) {
        std::memcpy(prefix, output, body.outputPrefixLength);
    }
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        if (broken_ != kernel::STATUS_SUCCESS) {
            return broken_;
        }
        if (closing_) {
            return kernel::STATUS_PORT_DISCONNECTED;
        }
        id = nextRequestId_++;
        waiters_[id] = &waiter;
    }
    const bool written = WriteFrame(kFrameSend, id, &body, sizeof body, prefix,
                                    body.outputPrefixLength, input, inputLength);
    std::unique_lock lock(mutex_);
    if (!written) {
        if (closing_) {
            // Writes fail once the close has begun; the close itself ends the connection.
            waiters_.erase(id);
            return kernel::STATUS_PORT_DISCONNECTED;
        }
        Break(kernel::STATUS_PORT_DISCONNECTED);
    }
    const NTSTATUS status = WaitFor(
        lock, [&] { return waiter.done; }, -1);
    if (!waiter.done) {
        waiters_.erase(id);
        return status;
    }
    *bytesReturned = waiter.replyLength;
    return waiter.status;
}

NTSTATUS PortSocketClient::GetMessage(void* buffer, std::uint32_t capacity, std::uint32_t* received,
                                      int timeoutMs) {
    *received = 0;
    CreditBody credit{0, 0};
    {
        std::unique_lock lock(mutex_);
        const NTSTATUS status = WaitFor(
            lock, [&] { return !queue_.empty(); }, timeoutMs);
        if (queue_.empty()) {
            return status;
        }
        const Queued& next = queue_.front();
        *received = next.length;
        if (capacity < next.length || buffer == nullptr) {
            return kernel::STATUS_BUFFER_TOO_SMALL;
        }
        std::memcpy(buffer, next.frame->data() + next.offset, next.length);
        ++unackedMessages_;
        unackedBytes_ += next.length + 4;
        queue_.pop_front();
        // Credit goes back in batches, and whenever the queue runs dry, so the server never
        // waits on credit the client is sitting on.
        if (queue_.empty() || unackedMessages_ >= window_.messages / 4 ||
            unackedBytes_ >= window_.bytes / 4) {
            credit = {unackedMessages_, unackedBytes_};
            unackedMessages_ = 0;
            unackedBytes_ = 0;
        }
    }
    if (credit.messages != 0 &&
        !WriteFrame(kFrameCredit, 0, &credit, sizeof credit, nullptr, 0, nullptr, 0)) {
        std::lock_guard lock(mutex_);
        if (!closing_) {
            Break(kernel::STATUS_PORT_DISCONNECTED);
        }
    }
    return kernel::STATUS_SUCCESS;
}

}  // namespace port_socket
