#include "host_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "run_directory.h"

namespace host_control {
namespace {

// Opens the pidfile and locks it without waiting. Retries when the file it locked was removed
// (or replaced) in the meantime by a host that was ending: a lock on an unlinked file guards
// nothing. -1 with errno EWOULDBLOCK when a host holds the lock.
int OpenLocked(int lockType, bool create) {
    const std::string path = HostPidPath();
    for (;;) {
        const int fd = open(path.c_str(), (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644);
        if (fd < 0) {
            return -1;
        }
        if (flock(fd, lockType | LOCK_NB) != 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return -1;
        }
        struct stat held {}, named {};
        if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return fd;
        }
        const int error = errno;
        close(fd);
        if (!create && error == ENOENT) {
            errno = ENOENT;
            return -1;
        }
    }
}

}  // namespace

std::string HostSocketPath() {
    return port_socket::RunDirectory() + "/host.sock";
}

std::string HostPidPath() {
    return port_socket::RunDirectory() + "/host.pid";
}

std::unique_ptr<HostLock> HostLock::Acquire(int* error) {
    if (!port_socket::EnsureRunDirectory(port_socket::RunDirectory())) {
        *error = errno;
        return nullptr;
    }
    const int fd = OpenLocked(LOCK_EX, true);
    if (fd < 0) {
        *error = errno == EWOULDBLOCK ? EEXIST : errno;
        return nullptr;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        *error = errno;
        close(fd);
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<HostLock>(new HostLock(fd));
}

HostLock::~HostLock() {
    unlink(HostSocketPath().c_str());
    unlink(HostPidPath().c_str());
    close(fd_);
}

bool HostRunning() {
    const int fd = OpenLocked(LOCK_SH, false);
    if (fd >= 0) {
        close(fd);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool CleanDeadHost() {
    const int fd = OpenLocked(LOCK_EX, false);
    if (fd < 0) {
        if (errno == EWOULDBLOCK) {
            return false;
        }
        // No pidfile, so no host: one takes the lock before it binds its socket and lets it go
        // only after removing the socket. Removing a socket here could race with a host starting.
        return true;
    }
    unlink(HostSocketPath().c_str());
    unlink(HostPidPath().c_str());
    close(fd);
    return true;
}

}  // namespace host_control
