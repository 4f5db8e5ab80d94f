#include "host_control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_control_protocol.h"

namespace host_control {
namespace {

constexpr kernel::NTSTATUS kStatusImageAlreadyLoaded = static_cast<kernel::NTSTATUS>(0xC000010EU);
constexpr kernel::NTSTATUS kStatusSharingViolation = static_cast<kernel::NTSTATUS>(0xC0000043U);

// A loader that connects and then says nothing must not hold the host up for long.
constexpr int kRequestTimeoutMs = 5000;

}  // namespace

std::unique_ptr<HostControlServer> HostControlServer::Start(HostCallbacks callbacks, int* error) {
    auto lock = HostLock::Acquire(error);
    if (!lock) {
        return nullptr;
    }
    const std::string path = HostSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        *error = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Holding the lock, this host owns the path: whatever is there is a dead host's socket.
    unlink(path.c_str());
    const int listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // The socket is made private before it listens, so nobody else can connect in between.
    const mode_t mask = umask(0177);
    const bool listening =
        listenFd >= 0 && wakeFd >= 0 &&
        bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        chmod(path.c_str(), 0600) == 0 && listen(listenFd, 16) == 0;
    *error = listening ? 0 : errno;
    umask(mask);
    if (!listening) {
        if (listenFd >= 0) {
            close(listenFd);
        }
        if (wakeFd >= 0) {
            close(wakeFd);
        }
        return nullptr;  // the lock's end removes a socket bound before the failure
    }
    return std::unique_ptr<HostControlServer>(
        new HostControlServer(std::move(callbacks), std::move(lock), listenFd, wakeFd));
}

HostControlServer::HostControlServer(HostCallbacks callbacks, std::unique_ptr<HostLock> lock,
                                     int listenFd, int wakeFd)
    : callbacks_(std::move(callbacks)), lock_(std::move(lock)), listenFd_(listenFd),
      wakeFd_(wakeFd) {}

HostControlServer::~HostControlServer() {
    close(listenFd_);
    close(wakeFd_);
    lock_.reset();
}

void HostControlServer::Stop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

HostControlServer::End HostControlServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return End::Stopped;
        }
        if (fds[1].revents != 0) {
            return End::Stopped;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        End end = End::Stopped;
        const bool ending = Serve(fd, &end);
        close(fd);
        if (ending) {
            return end;
        }
    }
}

bool HostControlServer::Serve(int fd, End* end) {
    std::vector<std::uint8_t> frame;
    if (ReadFrame(fd, &frame, kRequestTimeoutMs) != 0) {
        return false;
    }
    Request request;
    if (!DecodeRequest(frame, &request)) {
        WriteFrame(fd, EncodeReply(kernel::STATUS_INVALID_PARAMETER, {}));
        return false;
    }
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    std::vector<std::uint8_t> body;
    bool ending = false;
    switch (request.command) {
        case Command::Load:
            if (loaded_) {
                status = request.serviceName == loadedService_ ? kStatusImageAlreadyLoaded
                                                               : kStatusSharingViolation;
                break;
            }
            status = callbacks_.load(request.serviceName, request.imagePath, request.registryPath);
            if (kernel::NtSuccess(status)) {
                loaded_ = true;
                loadedService_ = request.serviceName;
            } else {
                ending = true;
                *end = End::LoadFailed;
            }
            break;
        case Command::Unload:
            if (loaded_) {
                status = callbacks_.unload();
            }
            if (kernel::NtSuccess(status)) {
                loaded_ = false;
                loadedService_.clear();
                ending = true;
                *end = End::Unloaded;
            }
            break;
        case Command::Query:
            body = EncodeStatusBody(
                HostStatus{static_cast<std::uint32_t>(getpid()), loaded_, loadedService_});
            break;
    }
    WriteFrame(fd, EncodeReply(status, body));
    return ending;
}

}  // namespace host_control
