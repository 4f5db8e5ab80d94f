// Attaching and detaching volumes: the directory underneath stays as it was, no mount is left
// behind, and a mount left by a host that was killed is found and removed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "host_test.h"
#include "platform/linux/host_kernel.h"

extern char** environ;

namespace linux_test {
namespace {

bool Mounted(const std::string& directory) {
    const std::vector<std::string> mounts = linux_host::VeskMounts();
    return std::find(mounts.begin(), mounts.end(), directory) != mounts.end();
}

std::string Content(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MountTest : public HostTest {};

TEST_F(MountTest, AttachAndDetachLeaveTheDirectoryAsItWas) {
    const std::string dir = MakeDirectory("volume");
    std::ofstream(dir + "/kept.txt") << "before";
    ASSERT_EQ(linux_host::AttachVolume(dir + "/"), kernel::STATUS_SUCCESS) << "a trailing slash";
    EXPECT_TRUE(Mounted(dir));
    EXPECT_EQ(linux_host::Volumes(), std::vector<std::string>{dir});
    EXPECT_EQ(linux_host::AttachVolume(dir), kernel::STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(Content(dir + "/kept.txt"), "before") << "seen through the mount";

    // The volume was offered to the filter (attach) and mounted, named by its directory.
    EXPECT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        bool attach = false, mount = false;
        for (const Record& r : all) {
            attach = attach || (r.operation == VeskOpAttach && r.name == dir);
            mount = mount || (r.operation == VeskOpMount && r.name == dir);
        }
        return attach && mount;
    }));

    // A file held open through the mount does not keep detaching from finishing.
    const int held = open((dir + "/kept.txt").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(linux_host::DetachVolume(dir), kernel::STATUS_SUCCESS);
    close(held);
    EXPECT_FALSE(Mounted(dir));
    EXPECT_TRUE(linux_host::Volumes().empty());
    EXPECT_EQ(linux_host::DetachVolume(dir), kernel::STATUS_NOT_FOUND);
    EXPECT_EQ(Content(dir + "/kept.txt"), "before");
    EXPECT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        return std::any_of(all.begin(), all.end(), [&](const Record& r) {
            return r.operation == VeskOpUnmount && r.name == dir;
        });
    }));
}

TEST_F(MountTest, AttachingWhatCannotBeMountedLeavesNothing) {
    EXPECT_EQ(linux_host::AttachVolume(root_ + "/missing"), kernel::STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(linux_host::AttachVolume("relative/dir"), kernel::STATUS_OBJECT_PATH_SYNTAX_BAD);
    std::ofstream(root_ + "/plain.txt") << "x";
    EXPECT_FALSE(kernel::NtSuccess(linux_host::AttachVolume(root_ + "/plain.txt")));
    EXPECT_TRUE(linux_host::Volumes().empty());
    EXPECT_FALSE(Mounted(root_ + "/missing"));
}

bool Stale(const std::string& directory) {
    const std::vector<std::string> stale = linux_host::StaleMounts();
    return std::find(stale.begin(), stale.end(), directory) != stale.end();
}

// A host killed with its mount in place leaves a dead mount: every access fails with ENOTCONN.
// The next host finds it among the "fuse.vesk" mounts it does not serve and detaches it.
TEST_F(MountTest, AMountLeftByAKilledHostIsFoundAndRemoved) {
    const std::string dir = MakeDirectory("orphan");
    std::ofstream(dir + "/kept.txt") << "before";
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    char* argv[] = {const_cast<char*>(LINUX_HOST_MOUNT), const_cast<char*>("--no-driver"),
                    const_cast<char*>(dir.c_str()), nullptr};
    pid_t host = 0;
    ASSERT_EQ(posix_spawn(&host, LINUX_HOST_MOUNT, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    char line[64] = {};
    FILE* output = fdopen(fromChild[0], "r");
    ASSERT_NE(std::fgets(line, sizeof line, output), nullptr);
    EXPECT_STREQ(line, "mounted\n");
    EXPECT_TRUE(Mounted(dir));
    EXPECT_FALSE(Stale(dir)) << "another process serves it";

    kill(host, SIGKILL);
    int status = 0;
    waitpid(host, &status, 0);
    fclose(output);
    close(toChild[1]);

    struct stat st {};
    EXPECT_NE(stat((dir + "/kept.txt").c_str(), &st), 0);
    EXPECT_EQ(errno, ENOTCONN) << "a dead mount";
    EXPECT_TRUE(Stale(dir));
    EXPECT_EQ(linux_host::RemoveStaleMount(dir), kernel::STATUS_SUCCESS);
    EXPECT_FALSE(Mounted(dir));
    EXPECT_EQ(Content(dir + "/kept.txt"), "before");
    EXPECT_EQ(linux_host::RemoveStaleMount(dir), kernel::STATUS_NOT_FOUND);
}

// Programs still execute from a filtered volume (their images are mapped privately). Shared
// mappings need the kernel's direct-I/O mapping support, which libfuse 3.14 cannot ask for: they
// fail with ENODEV there, and must show the file's data wherever they work.
TEST_F(MountTest, ProgramsRunFromAFilteredVolume) {
    const std::string dir = MakeDirectory("programs");
    ASSERT_EQ(linux_host::AttachVolume(dir), kernel::STATUS_SUCCESS);
    {
        std::ifstream from(FS_ACTOR, std::ios::binary);
        std::ofstream to(dir + "/actor", std::ios::binary);
        to << from.rdbuf();
    }
    ASSERT_EQ(chmod((dir + "/actor").c_str(), 0755), 0);
    const ChildResult run = RunChild({dir + "/actor", "--dir", dir, "write m.txt mapped", "exit 5"});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_EQ(run.output, "write ok\n");

    const int fd = open((dir + "/m.txt").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    void* privateMap = mmap(nullptr, 6, PROT_READ, MAP_PRIVATE, fd, 0);
    ASSERT_NE(privateMap, MAP_FAILED);
    EXPECT_EQ(std::string(static_cast<const char*>(privateMap), 6), "mapped");
    munmap(privateMap, 6);
    void* sharedMap = mmap(nullptr, 6, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (sharedMap == MAP_FAILED) {
        EXPECT_EQ(errno, ENODEV);
    } else {
        EXPECT_EQ(std::string(static_cast<const char*>(sharedMap), 6), "mapped");
        munmap(sharedMap, 6);
    }
    close(fd);
    EXPECT_EQ(linux_host::DetachVolume(dir), kernel::STATUS_SUCCESS);
}

}  // namespace
}  // namespace linux_test
