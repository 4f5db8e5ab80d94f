// One script of file operations, failing ones included, gives the same results in a plain
// directory and in a filtered one: what each step returned, and the files it left (contents,
// types, modes, owners, times set, extended attributes). An unprivileged user is refused in both
// alike; a refusal the file system decides reaches the filter with its failure status.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host_test.h"
#include "platform/linux/host_kernel.h"

namespace linux_test {
namespace {

// Everything a script can leave behind below directory, one line per entry, sorted.
std::string Snapshot(const std::string& directory, const std::string& relative = "") {
    std::vector<std::string> lines;
    const std::string path = relative.empty() ? directory : directory + "/" + relative;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return "unreadable " + path + "\n";
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.push_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        const std::string rel = relative.empty() ? name : relative + "/" + name;
        const std::string full = directory + "/" + rel;
        struct stat st {};
        lstat(full.c_str(), &st);
        std::ostringstream line;
        line << rel << " mode " << std::oct << st.st_mode << std::dec << " owner " << st.st_uid
             << ":" << st.st_gid << " size " << st.st_size << " links " << st.st_nlink;
        if (name[0] == 't') {  // the script sets the times of t... files
            line << " times " << st.st_atim.tv_sec << "," << st.st_mtim.tv_sec;
        }
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(full);
            std::stringstream content;
            content << in.rdbuf();
            line << " content [" << content.str() << "]";
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t length = readlink(full.c_str(), target, sizeof target);
            line << " target " << std::string(target, length > 0 ? static_cast<size_t>(length) : 0);
        }
        char keys[4096];
        const ssize_t length = llistxattr(full.c_str(), keys, sizeof keys);
        for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(keys + at)) + 1) {
            if (std::strncmp(keys + at, "user.", 5) == 0) {
                char value[256];
                const ssize_t got = lgetxattr(full.c_str(), keys + at, value, sizeof value);
                line << " xattr " << (keys + at) << "="
                     << std::string(value, got > 0 ? static_cast<size_t>(got) : 0);
            }
        }
        text += line.str() + "\n";
        if (S_ISDIR(st.st_mode)) {
            text += Snapshot(directory, rel);
        }
    }
    return text;
}

// What both directories start with: an open directory, a closed one, and a root file that an
// access list keeps from user 65534 although its mode bits would let anyone read it.
void Prepare(const std::string& dir) {
    mkdir((dir + "/shared").c_str(), 0777);
    chmod((dir + "/shared").c_str(), 0777);
    mkdir((dir + "/closed").c_str(), 0755);
    std::ofstream((dir + "/secret")) << "root only";
    chmod((dir + "/secret").c_str(), 0644);
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const std::uint32_t version = 2;
    const Entry entries[] = {{0x01, 6, 0xFFFFFFFF}, {0x02, 0, 65534}, {0x04, 4, 0xFFFFFFFF},
                             {0x10, 4, 0xFFFFFFFF}, {0x20, 4, 0xFFFFFFFF}};
    std::vector<std::uint8_t> acl(4 + sizeof entries);
    std::memcpy(acl.data(), &version, 4);
    std::memcpy(acl.data() + 4, entries, sizeof entries);
    setxattr((dir + "/secret").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0);
}

const std::vector<std::string> kRootScript = {
    "create a.txt 600",
    "create a.txt 600",  // EEXIST: O_EXCL on an existing name
    "read missing.txt",  // ENOENT
    "write a.txt first",
    "append a.txt +second",
    "read a.txt",
    "mkdir d 750",
    "mkdir d 750",  // EEXIST
    "write d/x.txt inside",
    "rmdir d",  // ENOTEMPTY
    "rmdir a.txt",  // ENOTDIR
    "rename a.txt d/a.txt",
    "rename-noreplace d/a.txt d/x.txt",  // EEXIST
    "rename d/x.txt d/y.txt",
    "rename missing.txt z.txt",  // ENOENT
    "link d/a.txt b.txt",
    "link d/a.txt b.txt",  // EEXIST
    "symlink d/a.txt s.lnk",
    "readlink s.lnk",
    "read s.lnk",
    "truncate b.txt 3",
    "chmod b.txt 604",
    "chown b.txt 65534 65534",
    "write t.txt timed",
    "fallocate t.txt 64",  // before the times are set: it changes them
    "utimes t.txt 1000000 2000000",
    "setxattr b.txt user.k value",
    "getxattr b.txt user.k",
    "removexattr b.txt user.k",
    "getxattr b.txt user.k",  // ENODATA
    "setxattr t.txt user.kept yes",
    "unlink nothing",  // ENOENT
    "unlink d/y.txt",
    "mkdir e 700",
    "rmdir e",
    "list .",
    "list d",
    "stat b.txt",
    "stat s.lnk",
};

const std::vector<std::string> kNobodyScript = {
    "write shared/mine.txt by-nobody",
    "mkdir shared/sub 755",
    "write closed/no.txt refused",  // EACCES: the directory is not writable for others
    "read secret",                  // EACCES: the access list refuses it
    "chmod shared/mine.txt 600",
    "chown shared/mine.txt 0 0",  // EPERM
    "unlink secret",              // EACCES
    "list closed",
};

class TransparencyTest : public HostTest {};

TEST_F(TransparencyTest, AScriptGivesTheSameResultsWithAndWithoutTheFilter) {
    const std::string plain = MakeDirectory("plain");
    const std::string filtered = MakeDirectory("filtered");
    Prepare(plain);
    Prepare(filtered);
    ASSERT_EQ(linux_host::AttachVolume(filtered), kernel::STATUS_SUCCESS);

    const ChildResult plainRoot = RunActor(plain, kRootScript);
    const ChildResult filteredRoot = RunActor(filtered, kRootScript);
    EXPECT_EQ(filteredRoot.output, plainRoot.output);
    EXPECT_NE(plainRoot.output.find("create EEXIST"), std::string::npos) << plainRoot.output;
    EXPECT_NE(plainRoot.output.find("rmdir ENOTEMPTY"), std::string::npos) << plainRoot.output;

    const ChildResult plainNobody = RunActor(plain, kNobodyScript, "65534:65534");
    const ChildResult filteredNobody = RunActor(filtered, kNobodyScript, "65534:65534");
    EXPECT_EQ(filteredNobody.exitCode, 0);
    EXPECT_EQ(filteredNobody.output, plainNobody.output);
    EXPECT_NE(plainNobody.output.find("write EACCES"), std::string::npos) << plainNobody.output;
    EXPECT_NE(plainNobody.output.find("read EACCES"), std::string::npos) << plainNobody.output;

    // The refusal the file system decided reached the filter as the open that failed.
    const std::uint32_t nobody = static_cast<std::uint32_t>(filteredNobody.pid);
    EXPECT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        for (const Record& r : all) {
            if (r.processId == nobody && r.operation == VeskOpCreate &&
                r.name == filtered + "/secret" && r.status == 0xC0000022u &&
                r.sid == "S-1-22-1-65534") {
                return true;
            }
        }
        return false;
    })) << "no refused open of the secret file by user 65534";

    ASSERT_EQ(linux_host::DetachVolume(filtered), kernel::STATUS_SUCCESS);
    EXPECT_EQ(Snapshot(filtered), Snapshot(plain));
    struct stat st {};
    ASSERT_EQ(lstat((filtered + "/shared/mine.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << "the unprivileged user owns what it created";
    EXPECT_EQ(st.st_gid, 65534u);
}

}  // namespace
}  // namespace linux_test
