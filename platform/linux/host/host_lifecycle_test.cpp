// The host as administrators run it: the driver image installed and loaded through the engine
// library, which starts vesk-host, mounts the configured directory, serves the port; and unloaded,
// killed, loaded again. Whatever happens, the directory keeps its files and no mount stays behind
// that a later load cannot clean up. Root only: the host mounts FUSE file systems.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "vesk/vesklib.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool MountedAt(const std::string& directory) {
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        if (point == directory && line.find(" - fuse.vesk ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class HostLifecycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "needs root and /dev/fuse";
        }
        char pattern[] = "/tmp/vesk-host-life-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        data_ = root_ + "/data";
        fs::create_directories(data_);
        std::ofstream(data_ + "/kept.txt") << "kept before the load\n";
        setenv("VESK_ROOT", (root_ + "/vesk").c_str(), 1);
        setenv("VESK_HOST", VESK_HOST_PROGRAM, 1);
        ASSERT_EQ(std::system((std::string(VESK_HOST_PROGRAM) + " volumes add " + data_ +
                               " >/dev/null")
                                  .c_str()),
                  0);
        const std::u16string image = u"" VESK_DRIVER_IMAGE_U16;
        ASSERT_TRUE(VeskInstall(nullptr, image.c_str(), 0, u"265000", 0)) << VeskGetErrorCode();
    }
    void TearDown() override {
        if (root_.empty()) {
            return;
        }
        VeskUnload();
        EXPECT_FALSE(MountedAt(data_)) << "a mount stayed behind";
        EXPECT_EQ(ReadFile(data_ + "/kept.txt"), "kept before the load\n");
        unsetenv("VESK_ROOT");
        unsetenv("VESK_HOST");
        fs::remove_all(root_);
    }

    int HostPid() {
        std::ifstream pidfile(root_ + "/vesk/run/host.pid");
        int pid = 0;
        pidfile >> pid;
        return pid;
    }

    std::string root_;
    std::string data_;
};

TEST_F(HostLifecycleTest, LoadingTwiceAndUnloadingTwiceBothSucceed) {
    ASSERT_TRUE(VeskLoad()) << VeskGetErrorCode();
    EXPECT_EQ(VeskGetErrorCode(), 0u);
    EXPECT_TRUE(MountedAt(data_));
    ASSERT_TRUE(VeskLoad()) << "a second load of a loaded driver succeeds";
    EXPECT_EQ(VeskGetErrorCode(), 0u);

    // The filtered directory shows what was there, and what is written through it stays.
    EXPECT_EQ(ReadFile(data_ + "/kept.txt"), "kept before the load\n");
    std::ofstream(data_ + "/written.txt") << "through the filter\n";

    ASSERT_TRUE(VeskUnload()) << VeskGetErrorCode();
    EXPECT_FALSE(MountedAt(data_));
    EXPECT_EQ(ReadFile(data_ + "/written.txt"), "through the filter\n");
    ASSERT_TRUE(VeskUnload()) << "unloading what is not loaded succeeds";
    EXPECT_EQ(VeskGetErrorCode(), 0u);
}

TEST_F(HostLifecycleTest, AHostKilledOutrightIsCleanedUpByTheNextLoadOrUnload) {
    ASSERT_TRUE(VeskLoad()) << VeskGetErrorCode();
    std::ofstream(data_ + "/before-kill.txt") << "x";
    const int pid = HostPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    // The dead host's mount answers nothing until someone cleans it up.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    struct stat st {};
    while (stat(data_.c_str(), &st) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    // Older kernels say "not connected", newer ones "connection aborted".
    EXPECT_TRUE(errno == ENOTCONN || errno == ECONNABORTED) << errno;

    ASSERT_TRUE(VeskLoad()) << "the next load cleans up: " << VeskGetErrorCode();
    EXPECT_TRUE(MountedAt(data_));
    EXPECT_EQ(ReadFile(data_ + "/before-kill.txt"), "x");

    // Killed again, and this time only unloaded: the unload cleans up too.
    ASSERT_EQ(kill(HostPid(), SIGKILL), 0);
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(VeskUnload()) << VeskGetErrorCode();
    EXPECT_FALSE(MountedAt(data_));
    EXPECT_EQ(ReadFile(data_ + "/before-kill.txt"), "x");
}

std::atomic<int> g_events{0};
std::atomic<int> g_portFailures{0};

void CountEvent(void*, const VeskNotification*, const VeskOperationData*) {
    ++g_events;
}

VeskBool OnStatus(void*, std::uint32_t event, std::uint32_t, uintptr_t) {
    if (event == VeskEventPortFailed) {
        ++g_portFailures;
    }
    return 0;
}

TEST_F(HostLifecycleTest, UnloadingWhileAClientIsConnectedEndsItsConnection) {
    ASSERT_TRUE(VeskLoad()) << VeskGetErrorCode();
    g_events = 0;
    g_portFailures = 0;
    ASSERT_TRUE(VeskInitialize(0, &OnStatus, &CountEvent, &CountEvent, nullptr))
        << VeskGetErrorCode();
    ASSERT_TRUE(VeskActivate()) << VeskGetErrorCode();
    // Another process works in the directory; the client hears of it through the real host.
    ASSERT_EQ(std::system(("sh -c 'echo hi > " + data_ + "/seen.txt'").c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (g_events.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GT(g_events.load(), 0);

    ASSERT_TRUE(VeskUnload()) << VeskGetErrorCode();
    EXPECT_FALSE(MountedAt(data_));
    const auto gone = std::chrono::steady_clock::now() + 30s;
    while (g_portFailures.load() == 0 && std::chrono::steady_clock::now() < gone) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(g_portFailures.load(), 1) << "the client learns that the port went away";
    EXPECT_TRUE(VeskUninitialize());
    EXPECT_EQ(ReadFile(data_ + "/seen.txt"), "hi\n");
}

TEST_F(HostLifecycleTest, AUserOutsideTheSocketsGroupCannotConnect) {
    ASSERT_TRUE(VeskLoad()) << VeskGetErrorCode();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // nobody, with no supplementary group: neither root nor in the socket's group.
        std::uint32_t result = 0xFFFFFFFF;
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) {
            result = VeskInitialize(0, nullptr, &CountEvent, &CountEvent, nullptr)
                         ? 0
                         : VeskGetErrorCode();
        }
        (void)!write(pipeFds[1], &result, sizeof result);
        _exit(0);
    }
    close(pipeFds[1]);
    std::uint32_t result = 0;
    ASSERT_EQ(read(pipeFds[0], &result, sizeof result), static_cast<ssize_t>(sizeof result));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(result, 5u) << "access denied";
}

}  // namespace
