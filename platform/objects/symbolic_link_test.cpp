#include "platform/kernel/symbolic_link.h"

#include <gtest/gtest.h>

#include <string>

#include "kernel_test.h"
#include "platform/kernel/device_map.h"
#include "platform/kernel/string_routines.h"
#include "sim_objects.h"

namespace {

using namespace kernel;

constexpr Luid kUserLogon{0x54321, 0};  // a logon session other than the test process's

class ObjectNamespaceTest : public sim::KernelTest {
  protected:
    void SetUp() override {
        sim::KernelTest::SetUp();
        sim::Objects::Reset();
        sim::Objects::AddDevice(u"\\Device\\HarddiskVolume1");
        sim::Objects::AddDevice(u"\\Device\\HarddiskVolume2");
        sim::Objects::AddDrive(u'C', u"\\Device\\HarddiskVolume1");
        sim::Objects::AddDrive(u'D', u"\\Device\\HarddiskVolume2");
        sim::Objects::AddRedirector(u"LanmanRedirector");
        sim::Objects::AddLogonDrive(kTestLogonId, u'D', u"\\Device\\SessionD");
        sim::Objects::AddLogonDrive(kTestLogonId, u'P', u"\\Device\\SessionP");
        sim::Objects::AddLogonDrive(kUserLogon, u'Z',
                                    u"\\Device\\LanmanRedirector\\;Z:0000000000054321\\srv\\share");
    }
    void TearDown() override {
        sim::Objects::Reset();
        sim::KernelTest::TearDown();
    }

    // The target, or the status as text.
    static std::u16string Resolve(const std::u16string& name) {
        UnicodeString n{static_cast<std::uint16_t>(name.size() * 2),
                        static_cast<std::uint16_t>(name.size() * 2),
                        const_cast<char16_t*>(name.data())};
        SymbolicLink* link = nullptr;
        NTSTATUS status = OpenSymbolicLinkObject(n, &link);
        if (!NtSuccess(status)) {
            char text[16];
            std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(status));
            return std::u16string(text, text + 8);
        }
        char16_t buffer[256];
        UnicodeString target{0, sizeof buffer, buffer};
        status = QuerySymbolicLinkObject(link, &target, nullptr);
        CloseSymbolicLink(link);
        EXPECT_EQ(status, STATUS_SUCCESS);
        return std::u16string(buffer, target.Length / 2);
    }
};

TEST_F(ObjectNamespaceTest, LooksUpLinksAsTheCallerSeesThem) {
    struct {
        std::u16string name;
        std::u16string expected;
    } cases[] = {
        {u"\\??\\C:", u"\\Device\\HarddiskVolume1"},
        {u"\\??\\c:", u"\\Device\\HarddiskVolume1"},  // names ignore case
        {u"\\DosDevices\\C:", u"\\Device\\HarddiskVolume1"},
        {u"\\GLOBAL??\\D:", u"\\Device\\HarddiskVolume2"},
        {u"\\??\\D:", u"\\Device\\SessionD"},  // the caller's session hides the global letter
        {u"\\??\\P:", u"\\Device\\SessionP"},
        {u"\\??\\Z:", u"C0000034"},  // another session's drive is not the caller's
        {u"\\Sessions\\0\\DosDevices\\00000000-00054321\\Z:",
         u"\\Device\\LanmanRedirector\\;Z:0000000000054321\\srv\\share"},
        {u"\\Sessions\\0\\DosDevices\\00000000-00099999\\Z:", u"C000003A"},  // no such session
        {u"\\Device\\LanmanRedirector", u"\\Device\\Mup\\;LanmanRedirector"},
        {u"\\Device\\HarddiskVolume2", u"C0000024"},  // a device, not a link
        // The link on the way is followed into the Mup device, where no link can be.
        {u"\\Device\\LanmanRedirector\\;Z:0000000000054321\\srv", u"C0000024"},
        {u"\\??\\C:\\Windows", u"C0000024"},
        {u"\\Device\\NoSuchThing", u"C0000034"},
        {u"\\NoDirectory\\X", u"C000003A"},
        {u"\\Device\\\\X", u"C0000033"},
        {u"\\Device\\", u"C0000033"},
        {u"Device", u"C000003B"},
        {u"", u"C000003B"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Resolve(c.name), c.expected) << std::string(c.name.begin(), c.name.end());
    }
}

TEST_F(ObjectNamespaceTest, AnImpersonatingThreadSeesItsClientsDrives) {
    Token* user = sim::World::CreateImpersonationToken({kTestUserSid, kUserLogon});
    sim::World::Impersonate(testThread_, user, ImpersonationLevel::Impersonation);
    EXPECT_EQ(Resolve(u"\\??\\Z:"), u"\\Device\\LanmanRedirector\\;Z:0000000000054321\\srv\\share");
    EXPECT_EQ(Resolve(u"\\??\\D:"), u"\\Device\\HarddiskVolume2");
    sim::World::RevertToSelf(testThread_);
    EXPECT_EQ(Resolve(u"\\??\\Z:"), u"C0000034");
}

TEST_F(ObjectNamespaceTest, QueryReportsTheLengthATargetNeeds) {
    SymbolicLink* link = nullptr;
    ASSERT_EQ(OpenSymbolicLinkObject(ConstantUnicodeString(u"\\??\\C:"), &link), STATUS_SUCCESS);
    const std::u16string expected = u"\\Device\\HarddiskVolume1";
    const auto bytes = static_cast<std::uint16_t>(expected.size() * 2);
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');

    std::uint32_t needed = 0;
    UnicodeString small{0, static_cast<std::uint16_t>(bytes - 2), buffer};
    EXPECT_EQ(QuerySymbolicLinkObject(link, &small, &needed), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, bytes + 2u);
    EXPECT_EQ(small.Length, 0);

    // Room for the text but not for the zero: the text, and nothing written after it.
    UnicodeString exact{0, bytes, buffer};
    EXPECT_EQ(QuerySymbolicLinkObject(link, &exact, &needed), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(buffer, exact.Length / 2), expected);
    EXPECT_EQ(buffer[expected.size()], u'#');

    UnicodeString roomy{0, sizeof buffer, buffer};
    EXPECT_EQ(QuerySymbolicLinkObject(link, &roomy, &needed), STATUS_SUCCESS);
    EXPECT_EQ(buffer[expected.size()], u'\0');
    CloseSymbolicLink(link);
}

TEST_F(ObjectNamespaceTest, DeviceMapsListTheDrivesOfTheProcessOrSession) {
    sim::Objects::AddDrive(u'E', u"\\Device\\CdRom0", DRIVE_CDROM);
    ProcessDeviceMap map;
    ASSERT_EQ(QueryProcessDeviceMap(testProcess_, &map), STATUS_SUCCESS);
    // C, D, E global; D (hiding the global one) and P of the test process's logon session.
    EXPECT_EQ(map.DriveMap, (1U << 2) | (1U << 3) | (1U << 4) | (1U << 15));
    EXPECT_EQ(map.DriveType[2], DRIVE_FIXED);
    EXPECT_EQ(map.DriveType[3], DRIVE_REMOTE);  // the session's D
    EXPECT_EQ(map.DriveType[4], DRIVE_CDROM);
    EXPECT_EQ(map.DriveType[25], DRIVE_UNKNOWN);

    ASSERT_EQ(QueryDeviceMap(&kUserLogon, &map), STATUS_SUCCESS);
    EXPECT_EQ(map.DriveMap, (1U << 2) | (1U << 3) | (1U << 4) | (1U << 25));
    EXPECT_EQ(map.DriveType[25], DRIVE_REMOTE);
    ASSERT_EQ(QueryDeviceMap(nullptr, &map), STATUS_SUCCESS);
    EXPECT_EQ(map.DriveMap, (1U << 2) | (1U << 3) | (1U << 4));

    sim::Objects::FailDeviceMapQueries(STATUS_ACCESS_DENIED);
    EXPECT_EQ(QueryProcessDeviceMap(testProcess_, &map), STATUS_ACCESS_DENIED);
}

}  // namespace
