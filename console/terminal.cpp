#include "terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/error_table.h"

namespace vesk::console {

namespace {

std::uint32_t LastError() {
    return platform::Win32FromErrno(errno);
}

}  // namespace

Terminal::Terminal(int inputDescriptor, int outputDescriptor)
    : input_(inputDescriptor), output_(outputDescriptor) {}

Terminal::~Terminal() {
    if (inputSwitched_) {
        tcsetattr(input_, TCSANOW, &savedMode_);
    }
    if (signals_ >= 0) {
        close(signals_);
    }
    if (interrupt_ >= 0) {
        close(interrupt_);
    }
}

std::uint32_t Terminal::PrepareInput() {
    if (!isatty(input_)) {
        return 0;
    }
    if (tcgetpgrp(input_) != getpgrp()) {
        // A background job: switching the terminal's mode or reading from it would stop the
        // process (SIGTTOU, SIGTTIN). It leaves the keyboard to the foreground and still stops on
        // the signals.
        inputClosed_ = true;
        return 0;
    }
    if (tcgetattr(input_, &savedMode_) != 0) {
        return LastError();
    }
    termios mode = savedMode_;
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    mode.c_lflag |= ISIG;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (tcsetattr(input_, TCSANOW, &mode) != 0) {
        return LastError();
    }
    inputSwitched_ = true;
    return 0;
}

std::uint32_t Terminal::InstallStopHandler(bool catchSignals) {
    interrupt_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (interrupt_ < 0) {
        return LastError();
    }
    if (!catchSignals) {
        return 0;
    }
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        sigaddset(&stop, s);
    }
    if (sigprocmask(SIG_BLOCK, &stop, nullptr) != 0) {
        return LastError();
    }
    signals_ = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    return signals_ >= 0 ? 0 : LastError();
}

void Terminal::RaiseInterrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(interrupt_, &one, sizeof one);
}

Wake Terminal::Wait(int timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (true) {
        int timeout = -1;
        if (timeoutMilliseconds >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {interrupt_, POLLIN, 0};
        const nfds_t signalSlot = count;
        if (signals_ >= 0) {
            fds[count++] = {signals_, POLLIN, 0};
        }
        const nfds_t inputSlot = count;
        if (!inputClosed_) {
            fds[count++] = {input_, POLLIN, 0};
        }
        const int ready = poll(fds, count, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return Wake::Timeout;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const ssize_t read = ::read(interrupt_, &value, sizeof value);
            return Wake::Interrupt;
        }
        if (signals_ >= 0 && (fds[signalSlot].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            if (::read(signals_, &info, sizeof info) == sizeof info) {
                const int s = static_cast<int>(info.ssi_signo);
                return s == SIGINT || s == SIGQUIT ? Wake::Interrupt : Wake::Close;
            }
            continue;
        }
        if (!inputClosed_ && fds[inputSlot].revents != 0) {
            char keys[256];
            const ssize_t got = ::read(input_, keys, sizeof keys);
            if (got > 0) {
                return Wake::Key;
            }
            if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                inputClosed_ = true;  // the end of the input is not a key press
            }
        }
    }
}

void Terminal::DiscardInput() {
    if (isatty(input_)) {
        tcflush(input_, TCIFLUSH);
    }
}

bool Terminal::OutputIsTerminal() const {
    return isatty(output_) != 0;
}

}  // namespace vesk::console
