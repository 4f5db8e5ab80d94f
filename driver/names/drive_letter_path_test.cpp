#include "drive_letter_path.h"

#include <gtest/gtest.h>

#include <string>

#include "core/pool_tags.h"
#include "counted_string.h"
#include "drive_device.h"
#include "names_test_world.h"
#include "platform/kernel/pool_accounting.h"

namespace {

using namespace kernel;
using namespace vesk::driver;
using namespace vesk::testing;

class DriveLetterPathTest : public NamesTest {
  protected:
    // The device, or the status as text.
    std::u16string Device(char16_t letter, const Luid* logonId) {
        UnicodeString* device = nullptr;
        const NTSTATUS status = GetDriveDevice(letter, logonId, &device);
        if (!NtSuccess(status)) {
            return StatusText(status);
        }
        std::u16string text(View(*device));
        FreeCountedString(device);
        return text;
    }
};

TEST_F(DriveLetterPathTest, FindsDrivesGloballyOrOnlyInTheirLogonSession) {
    EXPECT_EQ(Device(u'D', nullptr), u"\\Device\\HarddiskVolume2");
    EXPECT_EQ(Device(u'd', nullptr), u"\\Device\\HarddiskVolume2");
    EXPECT_EQ(Device(u'Z', nullptr), kZDevice);
    // Y is mapped in the user's logon session only: found with that logon id, not without.
    EXPECT_EQ(Device(u'Y', nullptr), u"C0000034");
    EXPECT_EQ(Device(u'Y', &kUserLogon), kYDevice);
    EXPECT_EQ(Device(u'y', &kUserLogon), kYDevice);
    // The global link wins over the session's, and a logon id finds nothing that is not there.
    EXPECT_EQ(Device(u'D', &kUserLogon), u"\\Device\\HarddiskVolume2");
    const Luid other{0x777, 0};
    EXPECT_EQ(Device(u'Y', &other), u"C0000034");
    EXPECT_EQ(Device(u'Q', &kUserLogon), u"C0000034");
}

TEST_F(DriveLetterPathTest, RewritesDriveLetterPathsIntoKernelForm) {
    struct {
        std::u16string path;
        NTSTATUS status;
        std::u16string expected;  // empty: none, use the path as it is
    } cases[] = {
        {u"D:\\DATA\\*", STATUS_SUCCESS, u"\\Device\\HarddiskVolume2\\DATA\\*"},
        {u"d:", STATUS_SUCCESS, u"\\Device\\HarddiskVolume2"},
        {u"Z:\\docs\\*.doc", STATUS_SUCCESS,
         u"\\Device\\Mup\\;LanmanRedirector\\;Z:0000000000012345\\server\\share\\docs\\*.doc"},
        {u"V:\\x", STATUS_SUCCESS, u"\\Device\\Mup\\;VBoxMiniRdr\\;V:\\vboxsvr\\shared\\x"},
        {u"Q:\\x", STATUS_OBJECT_NAME_NOT_FOUND, u""},
        {u"Y:\\x", STATUS_OBJECT_NAME_NOT_FOUND, u""},  // not a drive of the caller's session
        {u"*.TMP", STATUS_SUCCESS, u""},
        {u"\\Device\\HarddiskVolume2\\x", STATUS_SUCCESS, u""},
        {u"1:\\x", STATUS_SUCCESS, u""},
        {u"D", STATUS_SUCCESS, u""},
    };
    for (const auto& c : cases) {
        UnicodeString* kernelPath = nullptr;
        ASSERT_EQ(ConvertDriveLetterPath(Text(c.path), &kernelPath), c.status) << Narrow(c.path);
        if (c.expected.empty()) {
            EXPECT_EQ(kernelPath, nullptr) << Narrow(c.path);
            continue;
        }
        ASSERT_NE(kernelPath, nullptr);
        EXPECT_EQ(View(*kernelPath), c.expected);
        FreeCountedString(kernelPath);
    }
}

TEST_F(DriveLetterPathTest, FailsCleanlyWithoutMemory) {
    // The drive's device, the redirector's target, the rewritten name, the result.
    for (std::uint64_t n = 1; n <= 4; ++n) {
        FailNthPoolAllocation(kTagString, n);
        UnicodeString* kernelPath = nullptr;
        const NTSTATUS status = ConvertDriveLetterPath(Text(u"Z:\\docs"), &kernelPath);
        if (NtSuccess(status)) {
            // A failed rewrite falls back to the device name as it is.
            ASSERT_NE(kernelPath, nullptr) << n;
            EXPECT_EQ(View(*kernelPath), std::u16string(kZDevice) + u"\\docs") << n;
            FreeCountedString(kernelPath);
        } else {
            EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES) << n;
            EXPECT_EQ(kernelPath, nullptr) << n;
        }
    }
    FailNthPoolAllocation(kTagString, 0);
}

}  // namespace
