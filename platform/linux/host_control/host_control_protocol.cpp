#include "host_control_protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace host_control {
namespace {

void PutU32(std::vector<std::uint8_t>* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void PutText(std::vector<std::uint8_t>* out, const std::u16string& text) {
    // A text longer than the 16-bit length allows is cut to fit; kMaxFrame bounds the rest.
    const std::size_t units = std::min<std::size_t>(text.size(), 0x7FFF);
    out->push_back(static_cast<std::uint8_t>((units * 2) & 0xFF));
    out->push_back(static_cast<std::uint8_t>((units * 2) >> 8));
    for (std::size_t i = 0; i < units; ++i) {
        out->push_back(static_cast<std::uint8_t>(text[i] & 0xFF));
        out->push_back(static_cast<std::uint8_t>(text[i] >> 8));
    }
}

// Fills in the length word of a frame built after a 4-byte placeholder.
std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> frame) {
    const auto length = static_cast<std::uint32_t>(frame.size() - 4);
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    return frame;
}

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool U32(std::uint32_t* value) {
        if (bytes_.size() - at_ < 4) {
            return false;
        }
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            *value |= static_cast<std::uint32_t>(bytes_[at_ + i]) << (8 * i);
        }
        at_ += 4;
        return true;
    }
    bool Text(std::u16string* text) {
        if (bytes_.size() - at_ < 2) {
            return false;
        }
        const std::size_t length = bytes_[at_] | (bytes_[at_ + 1] << 8);
        at_ += 2;
        if (length % 2 != 0 || bytes_.size() - at_ < length) {
            return false;
        }
        text->resize(length / 2);
        for (std::size_t i = 0; i < length / 2; ++i) {
            (*text)[i] = static_cast<char16_t>(bytes_[at_ + 2 * i] | (bytes_[at_ + 2 * i + 1] << 8));
        }
        at_ += length;
        return true;
    }
    std::span<const std::uint8_t> Rest() const { return bytes_.subspan(at_); }
    bool AtEnd() const { return at_ == bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
    std::vector<std::uint8_t> frame(4, 0);
    PutU32(&frame, static_cast<std::uint32_t>(request.command));
    if (request.command == Command::Load) {
        PutText(&frame, request.serviceName);
        PutText(&frame, request.imagePath);
        PutText(&frame, request.registryPath);
    }
    return Sealed(std::move(frame));
}

std::vector<std::uint8_t> EncodeReply(std::int32_t status, std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> frame(4, 0);
    PutU32(&frame, static_cast<std::uint32_t>(status));
    frame.insert(frame.end(), body.begin(), body.end());
    return Sealed(std::move(frame));
}

std::vector<std::uint8_t> EncodeStatusBody(const HostStatus& status) {
    std::vector<std::uint8_t> body;
    PutU32(&body, status.pid);
    PutU32(&body, status.loaded ? 1 : 0);
    PutText(&body, status.serviceName);
    return body;
}

bool DecodeRequest(std::span<const std::uint8_t> frame, Request* request) {
    Reader reader(frame);
    std::uint32_t command = 0;
    if (!reader.U32(&command)) {
        return false;
    }
    *request = Request{};
    switch (static_cast<Command>(command)) {
        case Command::Load:
            request->command = Command::Load;
            if (!reader.Text(&request->serviceName) || !reader.Text(&request->imagePath) ||
                !reader.Text(&request->registryPath)) {
                return false;
            }
            break;
        case Command::Unload:
        case Command::Query:
            request->command = static_cast<Command>(command);
            break;
        default:
            return false;
    }
    return reader.AtEnd();
}

bool DecodeReply(std::span<const std::uint8_t> frame, Reply* reply) {
    Reader reader(frame);
    std::uint32_t status = 0;
    if (!reader.U32(&status)) {
        return false;
    }
    reply->status = static_cast<std::int32_t>(status);
    const auto rest = reader.Rest();
    reply->body.assign(rest.begin(), rest.end());
    return true;
}

bool DecodeStatusBody(std::span<const std::uint8_t> body, HostStatus* status) {
    Reader reader(body);
    std::uint32_t loaded = 0;
    if (!reader.U32(&status->pid) || !reader.U32(&loaded) || loaded > 1 ||
        !reader.Text(&status->serviceName)) {
        return false;
    }
    status->loaded = loaded != 0;
    return reader.AtEnd();
}

int ReadFrame(int fd, std::vector<std::uint8_t>* frame, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    // Reads exactly length bytes, waiting no later than the deadline.
    auto readExactly = [&](std::uint8_t* into, std::size_t length) -> int {
        std::size_t got = 0;
        while (got < length) {
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - Clock::now());
                wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
            }
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, wait);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (ready == 0) {
                return ETIMEDOUT;
            }
            const ssize_t n = recv(fd, into + got, length - got, 0);
            if (n == 0) {
                return ECONNRESET;
            }
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) {
                    continue;
                }
                return errno;
            }
            got += static_cast<std::size_t>(n);
        }
        return 0;
    };
    std::uint8_t word[4];
    int error = readExactly(word, 4);
    if (error != 0) {
        return error;
    }
    const std::uint32_t length = word[0] | (word[1] << 8) | (word[2] << 16) |
                                 (static_cast<std::uint32_t>(word[3]) << 24);
    if (length < 4 || length > kMaxFrame) {
        return EPROTO;
    }
    frame->resize(length);
    return readExactly(frame->data(), length);
}

int WriteFrame(int fd, const std::vector<std::uint8_t>& frame) {
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        sent += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace host_control
