// The installation, loading and privilege functions against a registry under a temporary
// VESK_ROOT and a stand-in host program serving the control channel.
#include <sys/capability.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host_control_client.h"
#include "host_lock.h"
#include "platform/user/machine_registry.h"
#include "platform/user/services.h"
#include "vesk/vesklib.h"

namespace {

class InstallationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "installing and loading need root";
        }
        char pattern[] = "/tmp/vesk-installation-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("VESK_ROOT", root_.c_str(), 1);
        setenv("VESK_HOST", VESK_TEST_HOST, 1);
        setenv("VESK_HOST_START_TIMEOUT_MS", "3000", 1);
        unsetenv("VESK_TEST_HOST_MODE");
        unsetenv("VESK_TEST_HOST_LOAD_STATUS");
        image_ = root_ + "/vesk.sys";
        std::ofstream(image_) << "image";
    }
    void TearDown() override {
        if (root_.empty()) {
            return;
        }
        host_control::Reply reply;
        if (host_control::SendToHost(host_control::Request{host_control::Command::Unload, {}, {}, {}},
                                     &reply, 2000) == 0) {
            host_control::WaitForHostEnd(5000);
        }
        unsetenv("VESK_ROOT");
        unsetenv("VESK_HOST");
        unsetenv("VESK_HOST_START_TIMEOUT_MS");
        unsetenv("VESK_TEST_HOST_MODE");
        unsetenv("VESK_TEST_HOST_LOAD_STATUS");
        std::filesystem::remove_all(root_);
    }

    static std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

    // A value of the machine's registry, or nothing.
    std::optional<registry::Value> Value(std::u16string_view key, std::u16string_view name) {
        std::unique_ptr<registry::RegistryStore> store;
        registry::KeyId id = 0;
        registry::Value value;
        if (user::OpenMachineRegistryForRead(&store) != 0 || !store ||
            store->OpenKey(registry::kRootKey, user::MachineKeyPath(key), &id) != registry::Result::Ok ||
            store->QueryValue(id, name, &value) != registry::Result::Ok) {
            return std::nullopt;
        }
        return value;
    }
    std::u16string Text(std::u16string_view key, std::u16string_view name) {
        auto value = Value(key, name);
        if (!value) {
            return u"<none>";
        }
        std::u16string text(value->data.size() / 2, u'\0');
        std::memcpy(text.data(), value->data.data(), text.size() * 2);
        return text;
    }
    std::uint32_t Dword(std::u16string_view key, std::u16string_view name) {
        auto value = Value(key, name);
        std::uint32_t number = 0xFFFFFFFF;
        if (value && value->data.size() == 4) {
            std::memcpy(&number, value->data.data(), 4);
        }
        return number;
    }
    std::string Calls() {
        std::ifstream file(root_ + "/run/test-host.calls");
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }

    static constexpr char16_t kService[] = u"System\\CurrentControlSet\\Services\\TallowmereVesk";
    static constexpr char16_t kInstances[] =
        u"System\\CurrentControlSet\\Services\\TallowmereVesk\\Instances";
    static constexpr char16_t kInstance[] =
        u"System\\CurrentControlSet\\Services\\TallowmereVesk\\Instances\\Instance 0";

    std::string root_;
    std::string image_;
};

TEST_F(InstallationTest, InstallWritesTheServiceAndTheInstanceValues) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 7));
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_EQ(Dword(kService, u"Type"), 1U);
    EXPECT_EQ(Dword(kService, u"Start"), 3U);
    EXPECT_EQ(Dword(kService, u"ErrorControl"), 1U);
    EXPECT_EQ(Text(kService, u"ImagePath"), path + u'\0');
    EXPECT_EQ(Text(kService, u"DisplayName"), std::u16string(u"Vesk (Tallowmere)") + u'\0');
    const auto instance = Value(kInstances, u"DefaultInstance");
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->type, 1U);
    EXPECT_EQ(instance->data.size(), 22U) << "\"Instance 0\" with its terminator";
    EXPECT_EQ(Text(kInstance, u"Altitude"), std::u16string(u"385100") + u'\0');
    EXPECT_EQ(Value(kInstance, u"Flags")->type, 4U);
    EXPECT_EQ(Dword(kInstance, u"Flags"), 7U);
}

TEST_F(InstallationTest, InstallingAgainRewritesTheInstanceValuesAndKeepsTheService) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(u"First", path.c_str(), 1, u"385100", 0));
    const std::string other = root_ + "/other.sys";
    std::ofstream(other) << "other";
    const std::u16string otherPath = Wide(other);
    ASSERT_TRUE(VeskInstall(u"Second", otherPath.c_str(), 0, u"385200", 2));
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_EQ(Dword(kService, u"Start"), 1U) << "start type kept";
    EXPECT_EQ(Text(kService, u"ImagePath"), path + u'\0') << "path kept";
    EXPECT_EQ(Text(kService, u"DisplayName"), std::u16string(u"First") + u'\0');
    EXPECT_EQ(Text(kInstance, u"Altitude"), std::u16string(u"385200") + u'\0');
    EXPECT_EQ(Dword(kInstance, u"Flags"), 2U);
}

TEST_F(InstallationTest, InstallRefusesBadArgumentsBeforeWritingAnything) {
    const std::u16string missing = Wide(root_ + "/missing.sys");
    const std::u16string directory = Wide(root_);
    const std::u16string path = Wide(image_);
    struct Case {
        const char* what;
        const VeskChar* path;
        const VeskChar* altitude;
        std::uint32_t error;
    } cases[] = {
        {"null path", nullptr, u"385100", 87},
        {"missing file", missing.c_str(), u"385100", 2},
        {"a directory", directory.c_str(), u"385100", 2},
        {"null altitude", path.c_str(), nullptr, 87},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(VeskInstall(nullptr, c.path, 0, c.altitude, 0)) << c.what;
        EXPECT_EQ(VeskGetErrorCode(), c.error) << c.what;
    }
    EXPECT_FALSE(Value(kService, u"Type")) << "nothing was written";
}

TEST_F(InstallationTest, ARelativeDriverPathIsRecordedAsItsAbsolutePath) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    EXPECT_TRUE(VeskInstall(nullptr, u"./vesk.sys", 0, u"385100", 0));
    std::filesystem::current_path(previous);
    EXPECT_EQ(Text(kService, u"ImagePath"), Wide(image_) + u'\0');
}

TEST_F(InstallationTest, UninstallRemovesTheServiceAndSucceedsWhenItIsAbsent) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));
    EXPECT_TRUE(VeskUninstall());
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_FALSE(Value(kService, u"Type"));
    EXPECT_FALSE(Value(kInstance, u"Altitude")) << "the instances go with the service";
    EXPECT_TRUE(VeskUninstall());
    EXPECT_EQ(VeskGetErrorCode(), 0U);
}

TEST_F(InstallationTest, LoadAndUnloadGoThroughTheHostAndRepeatingThemSucceeds) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));
    ASSERT_TRUE(VeskLoad()) << VeskGetErrorCode();
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_TRUE(host_control::HostRunning());
    EXPECT_TRUE(VeskLoad()) << "already loaded";
    EXPECT_EQ(VeskGetErrorCode(), 0U);

    ASSERT_TRUE(VeskUnload());
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_FALSE(host_control::HostRunning()) << "the host ends with the unload";
    EXPECT_TRUE(VeskUnload()) << "not loaded";
    EXPECT_EQ(VeskGetErrorCode(), 0U);

    ASSERT_TRUE(VeskLoad()) << "a new host after the old one ended";
    ASSERT_TRUE(VeskUnload());
    const std::string load = "load TallowmereVesk|" + image_ +
                             "|\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Services\\TallowmereVesk\n";
    EXPECT_EQ(Calls(), load + "unload\n" + load + "unload\n")
        << "repeated loads and unloads never reach the driver";
}

TEST_F(InstallationTest, LoadReportsTheDriverEntrysStatusAndEveryHostFailure) {
    const std::u16string path = Wide(image_);
    EXPECT_FALSE(VeskLoad());
    EXPECT_EQ(VeskGetErrorCode(), 1060U) << "no service";
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));

    struct Case {
        const char* what;
        const char* host;
        const char* mode;
        const char* loadStatus;
        std::uint32_t error;
    } cases[] = {
        {"entry fails: object name not found", VESK_TEST_HOST, nullptr, "C0000034", 2},
        {"entry fails: access denied", VESK_TEST_HOST, nullptr, "C0000022", 5},
        {"host program missing", "/nonexistent/vesk-host", nullptr, nullptr, 2},
        {"host ends at once", VESK_TEST_HOST, "exit", nullptr, 1067},
        {"host never answers", VESK_TEST_HOST, "silent", nullptr, 1053},
    };
    setenv("VESK_HOST_START_TIMEOUT_MS", "700", 1);
    for (const Case& c : cases) {
        setenv("VESK_HOST", c.host, 1);
        c.mode ? setenv("VESK_TEST_HOST_MODE", c.mode, 1) : unsetenv("VESK_TEST_HOST_MODE");
        c.loadStatus ? setenv("VESK_TEST_HOST_LOAD_STATUS", c.loadStatus, 1)
                     : unsetenv("VESK_TEST_HOST_LOAD_STATUS");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(VeskLoad()) << c.what;
        EXPECT_EQ(VeskGetErrorCode(), c.error) << c.what;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.what;
        EXPECT_TRUE(host_control::WaitForHostEnd(3000)) << c.what << ": no host is left behind";
    }

    // An informational status of the entry is a success, not an unknown error.
    setenv("VESK_HOST", VESK_TEST_HOST, 1);
    unsetenv("VESK_TEST_HOST_MODE");
    setenv("VESK_TEST_HOST_LOAD_STATUS", "40000000", 1);
    EXPECT_TRUE(VeskLoad());
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_TRUE(VeskUnload());
}

TEST_F(InstallationTest, ADeadHostCountsAsNotLoadedAndItsLeftoversGo) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));
    ASSERT_TRUE(VeskLoad());
    // Kill the host the hard way: nothing of its own clean-up runs.
    std::ifstream pidFile(host_control::HostPidPath());
    pid_t pid = 0;
    pidFile >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    ASSERT_TRUE(host_control::WaitForHostEnd(3000));
    EXPECT_EQ(access(host_control::HostSocketPath().c_str(), F_OK), 0) << "left behind";

    EXPECT_TRUE(VeskUnload());
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_NE(access(host_control::HostSocketPath().c_str(), F_OK), 0);
    EXPECT_NE(access(host_control::HostPidPath().c_str(), F_OK), 0);

    ASSERT_TRUE(VeskLoad());
    EXPECT_TRUE(VeskUnload());
}

TEST_F(InstallationTest, UninstallWhileLoadedMarksTheServiceWhichGoesWithTheUnload) {
    const std::u16string path = Wide(image_);
    ASSERT_TRUE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));
    ASSERT_TRUE(VeskLoad());
    EXPECT_TRUE(VeskUninstall());
    EXPECT_EQ(Dword(kService, u"DeleteFlag"), 1U);
    EXPECT_EQ(Text(kInstance, u"Altitude"), std::u16string(u"385100") + u'\0')
        << "the running driver's keys stay while it runs";
    EXPECT_TRUE(VeskUninstall()) << "marked already (1072) counts as uninstalled";
    EXPECT_EQ(VeskGetErrorCode(), 0U);
    EXPECT_FALSE(VeskInstall(nullptr, path.c_str(), 0, u"385100", 0));
    EXPECT_EQ(VeskGetErrorCode(), 1072U);

    ASSERT_TRUE(VeskUnload());
    EXPECT_FALSE(Value(kService, u"Type")) << "removed once unloaded";
    EXPECT_FALSE(VeskLoad());
    EXPECT_EQ(VeskGetErrorCode(), 1060U);
}

TEST_F(InstallationTest, OnlyRootMayInstallUninstallOrLoad) {
    const std::u16string path = Wide(image_);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) {
            _exit(10);
        }
        int failures = 0;
        failures += VeskInstall(nullptr, path.c_str(), 0, u"385100", 0) || VeskGetErrorCode() != 5;
        failures += VeskUninstall() || VeskGetErrorCode() != 5;
        failures += VeskLoad() || VeskGetErrorCode() != 5;
        failures += VeskUnload() || VeskGetErrorCode() != 5;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(EnablePrivilegeTest, IndexesOutsideTheTableAreRefusedAndNamesWithoutCapabilitySucceed) {
    for (std::uint32_t index : {35U, 36U, 0xFFFFFFFFU}) {
        EXPECT_FALSE(VeskEnablePrivilege(index)) << index;
        EXPECT_EQ(VeskGetErrorCode(), 87U) << index;
    }
    for (std::uint32_t index = 0; index < 35; ++index) {
        EXPECT_TRUE(VeskEnablePrivilege(index)) << index;
        EXPECT_EQ(VeskGetErrorCode(), 0U) << index;
    }
}

TEST(EnablePrivilegeTest, LoadDriverRaisesSysAdminInTheCallingThreadWhenPermitted) {
    // A thread of its own, so the test's other threads keep their capabilities.
    std::thread([] {
        cap_t caps = cap_get_proc();
        cap_flag_value_t permitted = CAP_CLEAR;
        cap_get_flag(caps, CAP_SYS_ADMIN, CAP_PERMITTED, &permitted);
        if (permitted != CAP_SET) {
            cap_free(caps);
            return;  // nothing to raise: the call still succeeds
        }
        const cap_value_t admin = CAP_SYS_ADMIN;
        cap_set_flag(caps, CAP_EFFECTIVE, 1, &admin, CAP_CLEAR);
        ASSERT_EQ(cap_set_proc(caps), 0);
        cap_free(caps);

        EXPECT_TRUE(VeskEnablePrivilege(15));
        EXPECT_EQ(VeskGetErrorCode(), 0U);
        caps = cap_get_proc();
        cap_flag_value_t effective = CAP_CLEAR;
        cap_get_flag(caps, CAP_SYS_ADMIN, CAP_EFFECTIVE, &effective);
        EXPECT_EQ(effective, CAP_SET);

        // Not permitted: the call still succeeds (it does not ask), and nothing is raised.
        cap_clear_flag(caps, CAP_EFFECTIVE);
        cap_set_flag(caps, CAP_PERMITTED, 1, &admin, CAP_CLEAR);
        ASSERT_EQ(cap_set_proc(caps), 0);
        cap_free(caps);
        EXPECT_TRUE(VeskEnablePrivilege(15));
        EXPECT_EQ(VeskGetErrorCode(), 0U);
        caps = cap_get_proc();
        cap_get_flag(caps, CAP_SYS_ADMIN, CAP_EFFECTIVE, &effective);
        EXPECT_EQ(effective, CAP_CLEAR);
        cap_free(caps);
    }).join();
}

}  // namespace
