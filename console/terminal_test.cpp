// veskd itself in a pseudo-terminal and with its input closed, against the simulated driver
// behind the socket of this process: key presses, Ctrl+C, the close signals, the terminal mode it
// switches and gives back, and the statistics screen redrawn in place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "testing/engine_fixture.h"
#include "wire/port_wire.h"

extern char** environ;

namespace vesk::console {
namespace {

constexpr const char* kReady = "  Press any key to exit...\r\n";

class Veskd : public testing::EngineTest {
  protected:
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (terminal_ >= 0) {
            close(terminal_);
        }
        EngineTest::TearDown();
    }

    // veskd with a pseudo-terminal as its controlling terminal, input and output. The terminal
    // does not turn "\n" into "\r\n", so the bytes read are the bytes veskd wrote.
    void StartInTerminal(const std::vector<std::string>& arguments) {
        std::vector<char*> argv = Argv(arguments);
        pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            termios mode;
            tcgetattr(STDIN_FILENO, &mode);
            mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            tcsetattr(STDIN_FILENO, TCSANOW, &mode);
            execv(VESKD, argv.data());
            _exit(127);
        }
        output_ = terminal_;
    }

    // veskd as a background job of a terminal: a process group of its own in the terminal's
    // session, not the foreground one. The session leader waits for it and ends with its code.
    void StartInBackground(const std::vector<std::string>& arguments) {
        std::vector<char*> argv = Argv(arguments);
        pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            termios mode;
            tcgetattr(STDIN_FILENO, &mode);
            mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            tcsetattr(STDIN_FILENO, TCSANOW, &mode);
            const pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                execv(VESKD, argv.data());
                _exit(127);
            }
            int status = 0;
            while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
                _exit(126);  // stopped by the terminal: the job touched it
            }
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
        }
        output_ = terminal_;
    }

    // veskd with its input at end of file (/dev/null) and its output a pipe.
    void StartWithoutTerminal(const std::vector<std::string>& arguments) {
        std::vector<char*> argv = Argv(arguments);
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        ASSERT_EQ(posix_spawn(&pid_, VESKD, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        terminal_ = pipeEnds[0];
        output_ = terminal_;
    }

    // Reads veskd's output until it contains text (true), or ten seconds pass or the output ends.
    bool ReadUntil(const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (read_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd fd{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[4096];
            const ssize_t got = read(output_, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            read_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    // veskd's exit status: its exit code, or -1 when it did not end normally within ten seconds.
    int ExitCode() {
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    bool Running() { return waitpid(pid_, nullptr, WNOHANG) == 0; }

    tcflag_t LocalModes() {
        termios mode{};
        EXPECT_EQ(tcgetattr(terminal_, &mode), 0);
        return mode.c_lflag & (ICANON | ECHO | ISIG);
    }

    static std::vector<char*> Argv(const std::vector<std::string>& arguments) {
        static std::vector<std::string> keep;
        keep = arguments;
        keep.insert(keep.begin(), VESKD);
        std::vector<char*> argv;
        for (std::string& a : keep) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        return argv;
    }

    pid_t pid_ = -1;
    int terminal_ = -1;
    int output_ = -1;
    std::string read_;
};

const std::string kMonitorHead =
    "Monitoring.\r\n  Preparing console...\r\n  Initializing engine...\r\n"
    "  Initialized successfully.\r\n  No filter specified:\r\n    Displaying all operations.\r\n"
    "  Activating engine...\r\n  Press any key to exit...\r\n";

TEST_F(Veskd, AKeyEndsTheMonitorAndTheTerminalGetsItsModeBack) {
    StartInTerminal({"mon"});
    const tcflag_t before = ICANON | ECHO | ISIG;
    ASSERT_TRUE(ReadUntil(kReady)) << read_;
    EXPECT_EQ(LocalModes(), static_cast<tcflag_t>(ISIG)) << "keys without Enter or echo";
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpDelete, "/srv/data/gone", 9, 0, {}});
    ASSERT_TRUE(ReadUntil("/srv/data/gone\r\n\r\n")) << read_;
    ASSERT_EQ(write(terminal_, "k", 1), 1);
    ASSERT_TRUE(ReadUntil("Done.\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(read_, kMonitorHead +
                         "  File object: 00000000\r\n  Delete:\r\n    00000000\r\n"
                         "    Status: 00000000\r\n    /srv/data/gone\r\n\r\n"
                         "Performing cleanup...\r\nDone.\r\n");
    EXPECT_EQ(LocalModes(), before);
}

TEST_F(Veskd, CtrlCEndsTheMonitor) {
    StartInTerminal({"mon", "c", "*.txt"});
    ASSERT_TRUE(ReadUntil(kReady)) << read_;
    ASSERT_EQ(write(terminal_, "\x03", 1), 1);
    ASSERT_TRUE(ReadUntil("Done.\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(read_.substr(read_.find(kReady)),
              std::string(kReady) + "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n");
    EXPECT_EQ(LocalModes(), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
}

TEST_F(Veskd, TheStatisticsScreenRedrawsInPlace) {
    StartInTerminal({"stat"});
    const std::string block = "    Last written:\tWaiting...\r\n\r\n";
    ASSERT_TRUE(ReadUntil(block + "\x1b[9A    Data read:")) << read_;
    ASSERT_EQ(write(terminal_, " ", 1), 1);
    ASSERT_TRUE(ReadUntil("Done.\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(read_.substr(read_.size() - block.size() - 30),
              block + "Performing cleanup...\r\nDone.\r\n");
}

// A background job may not switch or read its terminal (the terminal would stop it); it runs and
// an engine error still ends it.
TEST_F(Veskd, ABackgroundMonitorLeavesTheTerminalAlone) {
    StartInBackground({"mon"});
    ASSERT_TRUE(ReadUntil(kReady)) << read_;
    EXPECT_EQ(LocalModes(), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
    std::vector<std::uint8_t> overlong(100, 0);
    const std::uint32_t claimed = 500;
    std::memcpy(overlong.data() + 8, &claimed, 4);
    EnqueueRaw(overlong);
    ASSERT_TRUE(ReadUntil("Done.\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(read_, kMonitorHead +
                         "ERROR: error notification, code = 1359.\r\n"
                         "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n");
}

// Without a terminal: the input at its end is no key press, and the signals of Ctrl+C, Ctrl+\,
// a closed window (SIGHUP) and a shut-down (SIGTERM) each end the monitor with its own ending.
TEST_F(Veskd, SignalsEndTheMonitorWhoseInputIsClosed) {
    const struct {
        int signal;
        const char* ending;
    } cases[] = {
        {SIGINT, "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n"},
        {SIGQUIT, "Closing console...\r\nPerforming cleanup tasks...\r\nDone.\r\n"},
        {SIGTERM, "Shutting down...\r\nDone.\r\n"},
        {SIGHUP, "Shutting down...\r\nDone.\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        read_.clear();
        StartWithoutTerminal({"mon"});
        ASSERT_TRUE(ReadUntil(kReady)) << read_;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(Running()) << "the end of the input is not a key press";
        ASSERT_EQ(kill(pid_, c.signal), 0);
        ASSERT_TRUE(ReadUntil("Done.\r\n")) << read_;
        EXPECT_EQ(ExitCode(), 0);
        EXPECT_EQ(read_, kMonitorHead + c.ending);
        close(terminal_);
        terminal_ = -1;
    }
}

// A reader that goes away (a pager quit, say) must not kill veskd before it stopped the engine.
TEST_F(Veskd, AClosedOutputDoesNotEndTheMonitorBeforeItsCleanup) {
    StartWithoutTerminal({"mon"});
    ASSERT_TRUE(ReadUntil(kReady)) << read_;
    close(terminal_);
    terminal_ = -1;
    Enqueue({wire::VeskCategoryFileSystem, wire::VeskOpDelete, "/srv/data/unread", 9, 0, {}});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(Running());
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    EXPECT_EQ(ExitCode(), 0);
}

TEST_F(Veskd, CommandsOutsideTheLiveModesNeedNoTerminal) {
    StartWithoutTerminal({});
    ASSERT_TRUE(ReadUntil("  veskd help\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
    read_.clear();
    close(terminal_);
    StartWithoutTerminal({"rule", "frob"});
    ASSERT_TRUE(ReadUntil("ERROR: an unknown command was specified.\r\n")) << read_;
    EXPECT_EQ(ExitCode(), 0);
}

}  // namespace
}  // namespace vesk::console
