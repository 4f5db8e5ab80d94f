// Whole-frame reads and writes on a connected stream socket, for both ends of the port.
#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace port_socket {

// Writes every byte of the vectors (retrying short writes and EINTR), without raising SIGPIPE.
// False with errno set when the socket failed or the peer went away.
bool WriteAll(int fd, iovec* iov, int count);

// Reads exactly length bytes. False on an error or at the end of the stream (errno ECONNRESET).
bool ReadAll(int fd, void* buffer, std::size_t length);

// Waits up to timeoutMs (negative: forever) for the socket to become readable. 1 readable,
// 0 time-out, -1 error.
int WaitReadable(int fd, int timeoutMs);

}  // namespace port_socket
