#include "socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace port_socket {

bool WriteAll(int fd, iovec* iov, int count) {
    while (count > 0) {
        msghdr message{};
        message.msg_iov = iov;
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t written = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        auto left = static_cast<std::size_t>(written);
        while (count > 0 && left >= iov->iov_len) {
            left -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char*>(iov->iov_base) + left;
            iov->iov_len -= left;
        }
    }
    return true;
}

bool ReadAll(int fd, void* buffer, std::size_t length) {
    auto* at = static_cast<char*>(buffer);
    while (length > 0) {
        const ssize_t got = recv(fd, at, length, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            errno = ECONNRESET;
            return false;
        }
        at += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

int WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int ready = poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;  // a signal: wait again (the caller's deadline is close enough)
        }
        return ready < 0 ? -1 : (ready == 0 ? 0 : 1);
    }
}

}  // namespace port_socket
