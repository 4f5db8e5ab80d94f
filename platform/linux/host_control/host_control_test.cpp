#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host_control_client.h"
#include "host_control_protocol.h"
#include "host_control_server.h"
#include "host_lock.h"

namespace host_control {
namespace {

std::vector<std::uint8_t> WithoutLength(const std::vector<std::uint8_t>& frame) {
    return std::vector<std::uint8_t>(frame.begin() + 4, frame.end());
}

TEST(HostControlProtocol, RequestsSurviveTheRoundTripAndMalformedOnesAreRefused) {
    const Request load{Command::Load, u"TallowmereVesk", u"/opt/vesk/vesk.sys",
                       u"\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Services\\TallowmereVesk"};
    const auto frame = EncodeRequest(load);
    ASSERT_EQ(frame[0] | (frame[1] << 8), static_cast<int>(frame.size() - 4));
    Request decoded;
    ASSERT_TRUE(DecodeRequest(WithoutLength(frame), &decoded));
    EXPECT_EQ(decoded.command, Command::Load);
    EXPECT_EQ(decoded.serviceName, load.serviceName);
    EXPECT_EQ(decoded.imagePath, load.imagePath);
    EXPECT_EQ(decoded.registryPath, load.registryPath);

    const auto body = WithoutLength(frame);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"unknown command", {9, 0, 0, 0}},
        {"text past the end", std::vector<std::uint8_t>(body.begin(), body.end() - 1)},
        {"bytes left over", [&] { auto b = body; b.push_back(0); return b; }()},
        {"odd text length", {1, 0, 0, 0, 1, 0, 0x41}},
        {"unload with a body", {2, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(DecodeRequest(c.bytes, &decoded)) << c.what;
    }

    Reply reply;
    const HostStatus status{1234, true, u"TallowmereVesk"};
    ASSERT_TRUE(DecodeReply(WithoutLength(EncodeReply(-1073741790, EncodeStatusBody(status))),
                            &reply));
    EXPECT_EQ(reply.status, -1073741790);
    HostStatus read;
    ASSERT_TRUE(DecodeStatusBody(reply.body, &read));
    EXPECT_EQ(read.pid, 1234U);
    EXPECT_TRUE(read.loaded);
    EXPECT_EQ(read.serviceName, u"TallowmereVesk");
    const std::vector<std::uint8_t> twice{1, 0, 0, 0, 2, 0, 0, 0, 0, 0};
    EXPECT_FALSE(DecodeStatusBody(twice, &read)) << "loaded must be 0 or 1";
}

class HostControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vesk-host-control-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("VESK_ROOT", root_.c_str(), 1);
        setenv("VESK_HOST_START_TIMEOUT_MS", "3000", 1);
        unsetenv("VESK_TEST_HOST_MODE");
        unsetenv("VESK_TEST_HOST_LOAD_STATUS");
        setenv("VESK_HOST", VESK_TEST_HOST, 1);
    }
    void TearDown() override {
        // A test host still running is asked to end, so nothing outlives the test.
        Reply reply;
        if (SendToHost(Request{Command::Unload, {}, {}, {}}, &reply, 2000) == 0) {
            WaitForHostEnd(5000);
        }
        unsetenv("VESK_ROOT");
        unsetenv("VESK_HOST");
        unsetenv("VESK_HOST_START_TIMEOUT_MS");
        std::filesystem::remove_all(root_);
    }

    std::string root_;
};

TEST_F(HostControlTest, TheServerAnswersLoadUnloadAndQueryAndEndsAfterTheUnload) {
    std::vector<std::u16string> loads;
    int unloads = 0;
    HostCallbacks callbacks;
    callbacks.load = [&](const std::u16string& service, const std::u16string&,
                         const std::u16string&) {
        loads.push_back(service);
        return kernel::STATUS_SUCCESS;
    };
    callbacks.unload = [&] {
        ++unloads;
        return kernel::STATUS_SUCCESS;
    };
    int error = 0;
    auto server = HostControlServer::Start(callbacks, &error);
    ASSERT_NE(server, nullptr) << error;
    struct stat st {};
    ASSERT_EQ(stat(HostSocketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
    EXPECT_TRUE(HostRunning());

    int second = 0;
    EXPECT_EQ(HostControlServer::Start(callbacks, &second), nullptr);
    EXPECT_EQ(second, EEXIST);
    EXPECT_FALSE(CleanDeadHost()) << "a live host's files are left alone";

    HostControlServer::End end = HostControlServer::End::Stopped;
    std::thread serving([&] { end = server->Run(); });
    Reply reply;
    const Request load{Command::Load, u"TallowmereVesk", u"/x.sys", u"\\REGISTRY\\MACHINE\\S"};
    ASSERT_EQ(SendToHost(load, &reply, 2000), 0U);
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(SendToHost(load, &reply, 2000), 0U);
    EXPECT_EQ(static_cast<std::uint32_t>(reply.status), 0xC000010EU) << "already loaded";
    Request other = load;
    other.serviceName = u"Other";
    ASSERT_EQ(SendToHost(other, &reply, 2000), 0U);
    EXPECT_EQ(static_cast<std::uint32_t>(reply.status), 0xC0000043U);
    EXPECT_EQ(loads.size(), 1U) << "a loaded host does not call load again";

    ASSERT_EQ(SendToHost(Request{Command::Query, {}, {}, {}}, &reply, 2000), 0U);
    HostStatus status;
    ASSERT_TRUE(DecodeStatusBody(reply.body, &status));
    EXPECT_EQ(status.pid, static_cast<std::uint32_t>(getpid()));
    EXPECT_TRUE(status.loaded);
    EXPECT_EQ(status.serviceName, u"TallowmereVesk");

    ASSERT_EQ(SendToHost(Request{Command::Unload, {}, {}, {}}, &reply, 2000), 0U);
    EXPECT_EQ(reply.status, 0);
    serving.join();
    EXPECT_EQ(end, HostControlServer::End::Unloaded);
    EXPECT_EQ(unloads, 1);
    server.reset();
    EXPECT_FALSE(HostRunning());
    EXPECT_NE(access(HostSocketPath().c_str(), F_OK), 0) << "the socket goes with the host";
    EXPECT_NE(access(HostPidPath().c_str(), F_OK), 0);
    EXPECT_EQ(SendToHost(load, &reply, 2000), 1062U);
}

TEST_F(HostControlTest, AFailedLoadEndsTheHostAndStopEndsItAtOnce) {
    HostCallbacks callbacks;
    callbacks.load = [](const std::u16string&, const std::u16string&, const std::u16string&) {
        return static_cast<kernel::NTSTATUS>(0xC0000034U);
    };
    callbacks.unload = [] { return kernel::STATUS_SUCCESS; };
    int error = 0;
    auto server = HostControlServer::Start(callbacks, &error);
    ASSERT_NE(server, nullptr);
    HostControlServer::End end = HostControlServer::End::Stopped;
    std::thread serving([&] { end = server->Run(); });
    Reply reply;
    ASSERT_EQ(SendToHost(Request{Command::Load, u"S", u"/i", u"\\R"}, &reply, 2000), 0U);
    EXPECT_EQ(static_cast<std::uint32_t>(reply.status), 0xC0000034U);
    serving.join();
    EXPECT_EQ(end, HostControlServer::End::LoadFailed);
    EXPECT_FALSE(server->Loaded());

    std::thread again([&] { end = server->Run(); });
    server->Stop();
    again.join();
    EXPECT_EQ(end, HostControlServer::End::Stopped);
}

TEST_F(HostControlTest, ADeadHostsLeftoversAreCleanedAndAQuietClientDoesNotHoldTheHost) {
    // What a host killed with SIGKILL leaves: a pidfile nobody locks and a socket nobody serves.
    ASSERT_TRUE(std::filesystem::create_directories(root_ + "/run"));
    std::ofstream(HostPidPath()) << "999999\n";
    const int dead = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, HostSocketPath().c_str());
    ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(dead);

    EXPECT_FALSE(HostRunning());
    Reply reply;
    EXPECT_EQ(SendToHost(Request{Command::Query, {}, {}, {}}, &reply, 500), 1062U);
    EXPECT_TRUE(CleanDeadHost());
    EXPECT_NE(access(HostSocketPath().c_str(), F_OK), 0);
    EXPECT_NE(access(HostPidPath().c_str(), F_OK), 0);

    // A new host takes over; a client that connects and says nothing does not keep the next
    // request waiting longer than the request time-out.
    HostCallbacks callbacks;
    callbacks.load = [](const std::u16string&, const std::u16string&, const std::u16string&) {
        return kernel::STATUS_SUCCESS;
    };
    callbacks.unload = [] { return kernel::STATUS_SUCCESS; };
    int error = 0;
    auto server = HostControlServer::Start(callbacks, &error);
    ASSERT_NE(server, nullptr) << error;
    std::thread serving([&] { server->Run(); });
    const int quiet = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(quiet, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(SendToHost(Request{Command::Query, {}, {}, {}}, &reply, 8000), 0U);
    close(quiet);
    server->Stop();
    serving.join();
}

TEST_F(HostControlTest, StartingTheHostProgramReportsEveryWayItCanFail) {
    struct Case {
        const char* what;
        const char* program;
        const char* mode;
        std::uint32_t expected;
    } cases[] = {
        {"no such program", "/nonexistent/vesk-host", nullptr, 2},
        {"not a program", "/etc/hostname", nullptr, 193},
        {"ends at once", VESK_TEST_HOST, "exit", 1067},
        {"never answers", VESK_TEST_HOST, "silent", 1053},
        {"answers", VESK_TEST_HOST, nullptr, 0},
    };
    setenv("VESK_HOST_START_TIMEOUT_MS", "700", 1);
    for (const Case& c : cases) {
        setenv("VESK_HOST", c.program, 1);
        if (c.mode != nullptr) {
            setenv("VESK_TEST_HOST_MODE", c.mode, 1);
        } else {
            unsetenv("VESK_TEST_HOST_MODE");
        }
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(StartHost(), c.expected) << c.what;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.what;
        if (c.expected == 1053) {
            // The silent host was ended, so it does not block the next start.
            EXPECT_TRUE(WaitForHostEnd(3000)) << c.what;
        }
    }
    EXPECT_TRUE(HostRunning());
    std::ifstream log(root_ + "/run/host.log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("told to end at once"), std::string::npos) << "the host's output is kept";
}

TEST_F(HostControlTest, TheHostProgramIsTakenFromTheEnvironmentFirst) {
    setenv("VESK_HOST", "/somewhere/else/vesk-host", 1);
    EXPECT_EQ(HostProgram(), "/somewhere/else/vesk-host");
    setenv("VESK_HOST", "", 1);
    const std::string found = HostProgram();
    EXPECT_TRUE(found == "/usr/libexec/vesk/vesk-host" ||
                found.ends_with("/../bin/vesk-host"))
        << found;
}

}  // namespace
}  // namespace host_control
