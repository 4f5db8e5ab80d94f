#include "mountinfo.h"

#include <gtest/gtest.h>

#include "stale_mounts.h"

namespace mounts {
namespace {

TEST(MountInfo, LinesAreParsedWithTheirEscapesAndOptionalFields) {
    struct Case {
        const char* what;
        const char* line;
        const char* mountPoint;
        const char* fsType;
        const char* source;
        bool ours;
    } cases[] = {
        {"root file system",
         "29 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro", "/", "ext4",
         "/dev/sda1", false},
        {"our volume",
         "512 29 0:52 / /srv/data rw,nosuid,nodev,relatime shared:300 - fuse.vesk vesk "
         "rw,user_id=0,group_id=0,default_permissions,allow_other",
         "/srv/data", "fuse.vesk", "vesk", true},
        {"escaped space, tab and backslash",
         "513 29 0:53 / /srv/my\\040data\\011x\\134y rw - fuse.vesk vesk rw",
         "/srv/my data\tx\\y", "fuse.vesk", "vesk", true},
        {"no optional fields", "514 29 0:54 / /mnt rw - tmpfs tmpfs rw", "/mnt", "tmpfs", "tmpfs",
         false},
        {"several optional fields",
         "515 29 0:55 / /media/x rw master:4 propagate_from:2 unbindable - fuse.sshfs host:/ rw",
         "/media/x", "fuse.sshfs", "host:/", false},
        {"another FUSE file system named vesk",
         "516 29 0:56 / /srv/v rw - fuse.other vesk rw", "/srv/v", "fuse.other", "vesk", false},
        {"backslash without digits stays", "517 29 0:57 / /a\\b rw - tmpfs t rw", "/a\\b", "tmpfs",
         "t", false},
    };
    for (const Case& c : cases) {
        const auto entry = ParseMountInfoLine(c.line);
        ASSERT_TRUE(entry) << c.what;
        EXPECT_EQ(entry->mountPoint, c.mountPoint) << c.what;
        EXPECT_EQ(entry->fsType, c.fsType) << c.what;
        EXPECT_EQ(entry->source, c.source) << c.what;
        EXPECT_EQ(IsVeskMount(*entry), c.ours) << c.what;
    }
}

TEST(MountInfo, MalformedLinesAreSkipped) {
    const char* malformed[] = {
        "",
        "29 1 8:1 / / rw shared:1 ext4 /dev/sda1 rw",  // no separator
        "x 1 8:1 / / rw - ext4 /dev/sda1 rw",         // id not a number
        "29 1 81 / / rw - ext4 /dev/sda1 rw",         // no major:minor
        "29 1 8:1 / / rw -",                          // nothing after the separator
    };
    for (const char* line : malformed) {
        EXPECT_FALSE(ParseMountInfoLine(line)) << line;
    }
    const auto entries = ParseMountInfo(
        "29 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "garbage\n"
        "512 29 0:52 / /srv/data rw - fuse.vesk vesk rw\n");
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[1].mountPoint, "/srv/data");
}

TEST(MountInfo, OnlyOurMountsAreEverDetached) {
    // The root file system is not ours: it is refused without any unmount being tried.
    EXPECT_EQ(DetachVeskMount("/"), EINVAL);
    for (const MountEntry& entry : FindVeskMounts()) {
        EXPECT_EQ(entry.fsType, "fuse.vesk");
    }
}

}  // namespace
}  // namespace mounts
