// The service manager, the shell's value-setting call and the privilege table, under a temporary
// VESK_ROOT.
#include <sys/capability.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "host_lock.h"
#include "platform/user/machine_registry.h"
#include "platform/user/privileges.h"
#include "platform/user/services.h"
#include "platform/user/shell_values.h"

namespace user {
namespace {

class ServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the registry is root's";
        }
        char pattern[] = "/tmp/vesk-services-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("VESK_ROOT", root_.c_str(), 1);
        ASSERT_EQ(OpenServiceManager(kScManagerAllAccess, &manager_), 0U);
        config_.imagePath = u"/opt/vesk/vesk.sys";
        config_.displayName = u"Vesk";
    }
    void TearDown() override {
        unsetenv("VESK_ROOT");
        if (!root_.empty()) {
            std::filesystem::remove_all(root_);
        }
    }

    std::string root_;
    ServiceManagerHandle manager_;
    ServiceConfig config_;
};

TEST_F(ServicesTest, CreateOpenQueryAndDelete) {
    ServiceHandle service;
    ServiceConfig read;
    EXPECT_EQ(OpenService(manager_, u"Vesk", kServiceQueryConfig, &service), 1060U)
        << "nothing before the registry exists";
    ASSERT_EQ(CreateService(manager_, u"Vesk", kServiceAllAccess, config_, &service), 0U);
    ASSERT_EQ(OpenService(manager_, u"vESK", kServiceQueryConfig, &service), 0U)
        << "names compare without case";
    ASSERT_EQ(QueryServiceConfig(service, &read), 0U);
    EXPECT_EQ(read.type, 1U);
    EXPECT_EQ(read.start, 3U);
    EXPECT_EQ(read.errorControl, 1U);
    EXPECT_EQ(read.imagePath, u"/opt/vesk/vesk.sys");
    EXPECT_EQ(read.displayName, u"Vesk");

    ServiceConfig changed = config_;
    changed.start = kServiceSystemStart;
    changed.imagePath = u"/elsewhere.sys";
    EXPECT_EQ(CreateService(manager_, u"VESK", kServiceAllAccess, changed, &service), 1073U);
    ASSERT_EQ(QueryServiceConfig(service, &read), 0U);
    EXPECT_EQ(read.start, 3U) << "an existing service stays as it was";
    EXPECT_EQ(read.imagePath, u"/opt/vesk/vesk.sys");

    EXPECT_EQ(DeleteService(service), 5U) << "opened without the right to delete";
    ASSERT_EQ(OpenService(manager_, u"Vesk", kServiceDelete, &service), 0U);
    EXPECT_EQ(DeleteService(service), 0U);
    EXPECT_EQ(DeleteService(service), 1060U);
    EXPECT_EQ(OpenService(manager_, u"Vesk", kServiceQueryConfig, &service), 1060U);
}

TEST_F(ServicesTest, BadNamesAndMissingRightsAreRefused) {
    ServiceHandle service;
    for (std::u16string name : {std::u16string(), std::u16string(u"a\\b"), std::u16string(u"a/b"),
                                std::u16string(257, u'x')}) {
        EXPECT_EQ(CreateService(manager_, name, kServiceAllAccess, config_, &service), 123U);
    }
    ServiceManagerHandle connectOnly;
    ASSERT_EQ(OpenServiceManager(kScManagerConnect, &connectOnly), 0U);
    EXPECT_EQ(CreateService(connectOnly, u"Vesk", kServiceAllAccess, config_, &service), 5U);
}

TEST_F(ServicesTest, AKeyWithoutTypeIsNotAService) {
    // A driver's own keys below a deleted service (its rule database) do not make one.
    ASSERT_EQ(SetMachineValue(u"System\\CurrentControlSet\\Services\\Vesk\\Rules", u"x", kRegBinary,
                              "ab", 2),
              0U);
    ServiceHandle service;
    EXPECT_EQ(OpenService(manager_, u"Vesk", kServiceQueryConfig, &service), 1060U);
    EXPECT_EQ(CreateService(manager_, u"Vesk", kServiceAllAccess, config_, &service), 0U);
}

TEST_F(ServicesTest, DeletingWhileAHostRunsMarksTheServiceUntilItIsRemoved) {
    ServiceHandle service;
    ASSERT_EQ(CreateService(manager_, u"Vesk", kServiceAllAccess, config_, &service), 0U);
    int error = 0;
    auto host = host_control::HostLock::Acquire(&error);
    ASSERT_NE(host, nullptr) << error;
    EXPECT_EQ(DeleteService(service), 0U);
    EXPECT_TRUE(ServiceMarkedForDelete(u"Vesk"));
    EXPECT_EQ(DeleteService(service), 1072U);
    EXPECT_EQ(CreateService(manager_, u"Vesk", kServiceAllAccess, config_, &service), 1072U);
    host.reset();
    RemoveServiceMarkedForDelete(u"Vesk");
    EXPECT_EQ(OpenService(manager_, u"Vesk", kServiceQueryConfig, &service), 1060U);
}

TEST_F(ServicesTest, TheShellCallCreatesMissingKeysAndOnlyRootMayWrite) {
    const std::uint32_t flags = 5;
    ASSERT_EQ(SetMachineValue(u"System\\A\\B\\C", u"Flags", kRegDword, &flags, 4), 0U);
    std::unique_ptr<registry::RegistryStore> store;
    ASSERT_EQ(OpenMachineRegistryForRead(&store), 0U);
    registry::KeyId key = 0;
    ASSERT_EQ(store->OpenKey(registry::kRootKey, u"\\REGISTRY\\MACHINE\\System\\A\\B\\C", &key),
              registry::Result::Ok)
        << "where the kernel's routines find it";
    registry::Value value;
    ASSERT_EQ(store->QueryValue(key, u"flags", &value), registry::Result::Ok);
    EXPECT_EQ(value.type, 4U);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(SetMachineValue(u"System\\A", u"x", kRegBinary, nullptr, 4), 87U);
    EXPECT_EQ(SetMachineValue(u"System\\\\A", u"x", kRegBinary, nullptr, 0), 123U);

    ServiceHandle service;
    ASSERT_EQ(CreateService(manager_, u"Vesk", kServiceAllAccess, config_, &service), 0U);
    std::filesystem::permissions(root_, std::filesystem::perms(0755));  // as /var/lib is
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setresuid(65534, 65534, 65534) != 0) {
            _exit(10);
        }
        int failures = 0;
        ServiceManagerHandle manager;
        ServiceHandle opened;
        ServiceConfig read;
        failures += SetMachineValue(u"System\\A", u"x", kRegDword, &flags, 4) != 5;
        failures += OpenServiceManager(kScManagerCreateService, &manager) != 5;
        failures += OpenServiceManager(kScManagerConnect, &manager) != 0;
        failures += OpenService(manager, u"Vesk", kServiceDelete, &opened) != 5;
        // Reading stays open to everyone.
        failures += OpenService(manager, u"Vesk", kServiceQueryConfig, &opened) != 0;
        failures += QueryServiceConfig(opened, &read) != 0 || read.imagePath != u"/opt/vesk/vesk.sys";
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PrivilegesTest, EveryNameLooksUpAndMapsAsDecided) {
    struct Case {
        const char16_t* name;
        int capability;
    } cases[] = {
        {u"SeLoadDriverPrivilege", CAP_SYS_ADMIN},   {u"SeBackupPrivilege", CAP_DAC_READ_SEARCH},
        {u"SeRestorePrivilege", CAP_DAC_OVERRIDE},   {u"SeTakeOwnershipPrivilege", CAP_FOWNER},
        {u"SeDebugPrivilege", CAP_SYS_PTRACE},       {u"SeSystemtimePrivilege", CAP_SYS_TIME},
        {u"SeShutdownPrivilege", CAP_SYS_BOOT},      {u"SeSecurityPrivilege", CAP_AUDIT_CONTROL},
        {u"seloaddriverprivilege", CAP_SYS_ADMIN},   {u"SeChangeNotifyPrivilege", -1},
        {u"SeUnsolicitedInputPrivilege", -1},        {u"SeTcbPrivilege", -1},
    };
    for (const Case& c : cases) {
        PrivilegeValue value;
        ASSERT_EQ(LookupPrivilegeValue(c.name, &value), 0U);
        EXPECT_EQ(CapabilityOfPrivilege(value), c.capability);
    }
    PrivilegeValue value;
    EXPECT_EQ(LookupPrivilegeValue(u"SeNoSuchPrivilege", &value), 1313U);
    EXPECT_EQ(LookupPrivilegeValue(u"SeLoadDriverPrivilegeX", &value), 1313U);
    bool all = true;
    EXPECT_EQ(EnablePrivilege(PrivilegeValue{0}, &all), 1313U);
    EXPECT_EQ(EnablePrivilege(PrivilegeValue{36}, &all), 1313U);
}

TEST(PrivilegesTest, APrivilegeNotPermittedIsReportedAsNotAssignedAndChangesNothing) {
    std::thread([] {
        cap_t caps = cap_get_proc();
        const cap_value_t time = CAP_SYS_TIME;
        cap_set_flag(caps, CAP_EFFECTIVE, 1, &time, CAP_CLEAR);
        cap_set_flag(caps, CAP_PERMITTED, 1, &time, CAP_CLEAR);
        ASSERT_EQ(cap_set_proc(caps), 0);
        cap_free(caps);
        PrivilegeValue value;
        ASSERT_EQ(LookupPrivilegeValue(u"SeSystemtimePrivilege", &value), 0U);
        bool all = true;
        EXPECT_EQ(EnablePrivilege(value, &all), 0U);
        EXPECT_FALSE(all);
        caps = cap_get_proc();
        cap_flag_value_t effective = CAP_SET;
        cap_get_flag(caps, CAP_SYS_TIME, CAP_EFFECTIVE, &effective);
        EXPECT_EQ(effective, CAP_CLEAR);
        cap_free(caps);
        // Without a capability: nothing to hold, nothing missing.
        ASSERT_EQ(LookupPrivilegeValue(u"SeCreateSymbolicLinkPrivilege", &value), 0U);
        EXPECT_EQ(EnablePrivilege(value, &all), 0U);
        EXPECT_TRUE(all);
    }).join();
}

}  // namespace
}  // namespace user
