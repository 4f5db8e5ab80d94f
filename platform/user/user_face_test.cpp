#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/error_table.h"
#include "platform/user/accounts.h"
#include "platform/user/processes.h"
#include "platform/user/uuid.h"
#include "platform/user/volumes.h"
#include "text.h"

namespace {

std::vector<std::uint8_t> Sid(std::uint8_t authority, std::vector<std::uint32_t> subs) {
    std::vector<std::uint8_t> sid = {
        1, static_cast<std::uint8_t>(subs.size()), 0, 0, 0, 0, 0, authority};
    for (std::uint32_t s : subs) {
        for (int i = 0; i < 4; ++i) {
            sid.push_back(static_cast<std::uint8_t>(s >> (8 * i)));
        }
    }
    return sid;
}

TEST(ErrorTable, MapsErrnoStatusAndWin32Codes) {
    struct Row {
        int error;
        kernel::NTSTATUS status;
        std::uint32_t win32;
    };
    const Row rows[] = {
        {ENOENT, static_cast<kernel::NTSTATUS>(0xC0000034), 2},
        {ECONNREFUSED, static_cast<kernel::NTSTATUS>(0xC0000034), 2},
        {EACCES, kernel::STATUS_ACCESS_DENIED, 5},
        {EPIPE, kernel::STATUS_PORT_DISCONNECTED, 6},
        {ENOMEM, static_cast<kernel::NTSTATUS>(0xC0000017), 8},
        {EINVAL, kernel::STATUS_INVALID_PARAMETER, 87},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(platform::NtStatusFromErrno(row.error), row.status) << row.error;
        EXPECT_EQ(platform::Win32FromErrno(row.error), row.win32) << row.error;
    }
    EXPECT_EQ(platform::Win32FromNtStatus(kernel::STATUS_SUCCESS), 0u);
    EXPECT_EQ(platform::Win32FromNtStatus(kernel::STATUS_PORT_CONNECTION_REFUSED), 5u);
    EXPECT_EQ(platform::Win32FromNtStatus(kernel::STATUS_BUFFER_TOO_SMALL), 122u);
    EXPECT_EQ(platform::Win32FromNtStatus(kernel::STATUS_NOT_IMPLEMENTED), 1u);
    EXPECT_EQ(platform::Win32FromNtStatus(static_cast<kernel::NTSTATUS>(0xC0FFEE00)), 317u);
    EXPECT_EQ(platform::NtStatusFromErrno(EDOM), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(platform::HResultFromWin32(5), static_cast<platform::HRESULT>(0x80070005));
    EXPECT_EQ(platform::HResultFromWin32(0), 0);
}

TEST(Accounts, WellKnownUnixUserAndGroupSids) {
    struct Case {
        std::vector<std::uint8_t> sid;
        std::u16string name;
        std::u16string domain;
        user::SidNameUse use;
    };
    const Case cases[] = {
        {Sid(5, {18}), u"SYSTEM", u"NT AUTHORITY", user::SidTypeWellKnownGroup},
        {Sid(1, {0}), u"Everyone", u"", user::SidTypeWellKnownGroup},
        {Sid(5, {32, 544}), u"Administrators", u"BUILTIN", user::SidTypeAlias},
        {Sid(22, {1, 0}), u"root", u"Unix User", user::SidTypeUser},
        {Sid(22, {2, 0}), u"root", u"Unix Group", user::SidTypeGroup},
    };
    for (const Case& c : cases) {
        std::u16string name;
        std::u16string domain;
        user::SidNameUse use{};
        ASSERT_EQ(user::LookupAccountSid(c.sid.data(), static_cast<std::uint32_t>(c.sid.size()),
                                         &name, &domain, &use),
                  0u);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(domain, c.domain);
        EXPECT_EQ(use, c.use);
    }
}

TEST(Accounts, InvalidAndUnmappedSids) {
    std::u16string name;
    std::u16string domain;
    user::SidNameUse use{};
    std::vector<std::uint8_t> bad = Sid(5, {18});
    bad[0] = 2;  // revision
    EXPECT_EQ(user::LookupAccountSid(bad.data(), 12, &name, &domain, &use), 87u);
    const auto truncated = Sid(5, {21, 1, 2});
    EXPECT_EQ(user::LookupAccountSid(truncated.data(), 12, &name, &domain, &use), 87u);
    const auto unknown = Sid(5, {21, 1, 2, 3, 1001});
    EXPECT_EQ(user::LookupAccountSid(unknown.data(), static_cast<std::uint32_t>(unknown.size()),
                                     &name, &domain, &use),
              1332u);
    const auto nobody = Sid(22, {1, 3999999});
    EXPECT_EQ(user::LookupAccountSid(nobody.data(), static_cast<std::uint32_t>(nobody.size()),
                                     &name, &domain, &use),
              1332u);
}

TEST(Processes, ImagePathOfThisProcessAndOfNone) {
    std::u16string path;
    ASSERT_EQ(user::QueryProcessImageName(static_cast<std::uint32_t>(getpid()), &path), 0u);
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(user::Utf16ToUtf8(path), self);
    EXPECT_EQ(user::QueryProcessImageName(0x7FFFFFF0, &path), 87u);
}

TEST(Uuid, VersionVariantAndUniqueness) {
    std::set<std::vector<std::uint8_t>> seen;
    for (bool random : {true, false}) {
        for (int i = 0; i < 1000; ++i) {
            std::uint8_t guid[16];
            ASSERT_EQ(user::CreateUuid(random, guid), 0u);
            EXPECT_EQ(guid[7] >> 4, random ? 4 : 1);  // Data3's high nibble, little-endian
            EXPECT_EQ(guid[8] & 0xC0, 0x80);
            EXPECT_TRUE(seen.insert(std::vector<std::uint8_t>(guid, guid + 16)).second);
        }
    }
}

TEST(Text, RoundTripsAndReplacesIllFormedInput) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, é, €, an emoji
    const std::u16string wide = user::Utf8ToUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(user::Utf16ToUtf8(wide), text);
    EXPECT_EQ(user::Utf8ToUtf16("\xC3"), u"\xFFFD");
    EXPECT_EQ(user::Utf8ToUtf16("\xC0\x80"), u"\xFFFD\xFFFD");  // overlong
    EXPECT_EQ(user::Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

class Volumes : public ::testing::Test {
  protected:
    void SetUp() override {
        char root[] = "/tmp/vesk-volumes-XXXXXX";
        ASSERT_NE(mkdtemp(root), nullptr);
        root_ = root;
        setenv("VESK_ROOT", root_.c_str(), 1);
    }
    void TearDown() override { std::system(("rm -rf " + root_).c_str()); }
    std::string root_;
};

TEST_F(Volumes, PublishedDosNamesLinuxDirectoriesAndUnknownVolumes) {
    std::system(("mkdir -p " + root_ + "/run").c_str());
    std::ofstream(root_ + "/run/dos-devices") << "\\Device\\HarddiskVolume1\tC:\n"
                                              << "\\Device\\HarddiskVolume2\t\n";
    std::u16string dos;
    EXPECT_EQ(user::GetDosName(u"\\device\\harddiskvolume1", &dos), 0);
    EXPECT_EQ(dos, u"C:");
    EXPECT_EQ(user::GetDosName(u"\\Device\\HarddiskVolume2", &dos), 0);
    EXPECT_EQ(dos, u"");
    EXPECT_EQ(user::GetDosName(u"/srv/data", &dos), 0);
    EXPECT_EQ(dos, u"/srv/data");
    EXPECT_EQ(user::GetDosName(u"\\Device\\HarddiskVolume9", &dos), platform::HResultFromWin32(2));
    EXPECT_EQ(user::GetDosName(u"", &dos), platform::HResultFromWin32(123));
}

}  // namespace
