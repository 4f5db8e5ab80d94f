#include "host_control_client.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host_lock.h"
#include "run_directory.h"

namespace host_control {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorBadExeFormat = 193;
constexpr std::uint32_t kErrorServiceRequestTimeout = 1053;
constexpr std::uint32_t kErrorServiceNotActive = 1062;
constexpr std::uint32_t kErrorProcessAborted = 1067;

constexpr int kPollIntervalMs = 10;

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOfThisCode() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DirectoryOfThisCode), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) {
        return {};
    }
    std::string path(resolved);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Connects to the host's socket. -1 with errno set (ENOENT or ECONNREFUSED: nobody serves it).
int ConnectToHost() {
    const std::string path = HostSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Whether a host answers a query now.
bool HostAnswers() {
    Reply reply;
    return SendToHost(Request{Command::Query, {}, {}, {}}, &reply, 1000) == 0;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Starts "<program> serve" twice forked, so the host is nobody's child here and leaves no zombie;
// the pipe brings back the host's pid and, when exec failed, its errno. 0 with *hostPid, or the
// errno of the failed step (*execFailed set when exec itself failed).
int Spawn(const std::string& program, pid_t* hostPid, bool* execFailed) {
    *execFailed = false;
    const std::string log = port_socket::RunDirectory() + "/host.log";
    if (!port_socket::EnsureRunDirectory(port_socket::RunDirectory())) {
        return errno;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return errno;
    }
    // Everything the children need is prepared here: after fork only async-signal-safe calls.
    const char* argv[] = {program.c_str(), "serve", nullptr};
    const pid_t middle = fork();
    if (middle < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        return error;
    }
    if (middle == 0) {
        close(pipeFds[0]);
        setsid();
        const pid_t host = fork();
        if (host != 0) {
            std::int32_t word = host;
            [[maybe_unused]] ssize_t n = write(pipeFds[1], &word, sizeof word);
            _exit(host < 0 ? 1 : 0);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (in >= 0) {
            dup2(in, 0);
        }
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        // Only the report pipe survives beyond the standard three, and only until exec.
        dup2(pipeFds[1], 3);
        fcntl(3, F_SETFD, FD_CLOEXEC);
        syscall(SYS_close_range, 4U, ~0U, 0U);
        sigset_t all;
        sigemptyset(&all);
        sigprocmask(SIG_SETMASK, &all, nullptr);
        execv(argv[0], const_cast<char* const*>(argv));
        std::int32_t word = errno;
        [[maybe_unused]] ssize_t n = write(3, &word, sizeof word);
        _exit(127);
    }
    close(pipeFds[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    std::int32_t words[2] = {0, 0};
    std::size_t got = 0;
    while (got < sizeof words) {
        const ssize_t n = read(pipeFds[0], reinterpret_cast<char*>(words) + got, sizeof words - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(pipeFds[0]);
    if (got < sizeof words[0] || words[0] <= 0) {
        return EAGAIN;  // the second fork failed
    }
    *hostPid = words[0];
    if (got == sizeof words) {
        *execFailed = true;
        return words[1] != 0 ? words[1] : ENOEXEC;
    }
    return 0;
}

}  // namespace

std::string HostProgram() {
    const char* configured = std::getenv("VESK_HOST");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    const std::string here = DirectoryOfThisCode();
    if (!here.empty()) {
        const std::string beside = here + "/../bin/vesk-host";
        if (IsFile(beside)) {
            return beside;
        }
    }
    return "/usr/libexec/vesk/vesk-host";
}

int HostStartTimeoutMs() {
    const char* configured = std::getenv("VESK_HOST_START_TIMEOUT_MS");
    if (configured != nullptr && *configured != '\0') {
        char* end = nullptr;
        const long value = std::strtol(configured, &end, 10);
        if (end != configured && *end == '\0' && value > 0 && value <= 600000) {
            return static_cast<int>(value);
        }
    }
    return 10000;
}

std::uint32_t SendToHost(const Request& request, Reply* reply, int timeoutMs) {
    const int fd = ConnectToHost();
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            return kErrorAccessDenied;
        }
        return kErrorServiceNotActive;
    }
    std::uint32_t result = 0;
    std::vector<std::uint8_t> frame;
    if (WriteFrame(fd, EncodeRequest(request)) != 0) {
        result = kErrorProcessAborted;
    } else {
        const int error = ReadFrame(fd, &frame, timeoutMs);
        if (error == ETIMEDOUT) {
            result = kErrorServiceRequestTimeout;
        } else if (error != 0 || !DecodeReply(frame, reply)) {
            result = kErrorProcessAborted;
        }
    }
    close(fd);
    return result;
}

std::uint32_t WaitForHostAnswer(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (HostAnswers()) {
            return 0;
        }
        if (!HostRunning()) {
            return kErrorProcessAborted;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return kErrorServiceRequestTimeout;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs));
    }
}

bool WaitForHostEnd(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (HostRunning()) {
        if (MillisecondsLeft(deadline) == 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs));
    }
    return true;
}

std::uint32_t StartHost() {
    const std::string program = HostProgram();
    if (access(program.c_str(), F_OK) != 0) {
        return kErrorFileNotFound;
    }
    pid_t host = 0;
    bool execFailed = false;
    const int error = Spawn(program, &host, &execFailed);
    if (error != 0) {
        if (execFailed) {
            return error == ENOENT ? kErrorFileNotFound : kErrorBadExeFormat;
        }
        return kErrorProcessAborted;
    }
    // The host is not our child: its end shows as its pid file descriptor becoming readable.
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, host, 0));
    const auto deadline = Clock::now() + std::chrono::milliseconds(HostStartTimeoutMs());
    std::uint32_t result = kErrorServiceRequestTimeout;
    for (;;) {
        if (HostAnswers()) {
            result = 0;  // ours, or one another loader started at the same time
            break;
        }
        bool ended = pidFd < 0;  // gone before we could watch it
        if (pidFd >= 0) {
            pollfd p{pidFd, POLLIN, 0};
            ended = poll(&p, 1, 0) > 0;
        }
        if (ended && !HostRunning()) {
            result = kErrorProcessAborted;
            break;
        }
        if (MillisecondsLeft(deadline) == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs));
    }
    if (pidFd >= 0) {
        // A host that never answered would hold the lock and keep every later load waiting.
        if (result == kErrorServiceRequestTimeout) {
            syscall(SYS_pidfd_send_signal, pidFd, SIGKILL, nullptr, 0U);
        }
        close(pidFd);
    }
    return result;
}

}  // namespace host_control
