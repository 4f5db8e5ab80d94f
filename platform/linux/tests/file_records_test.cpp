// A child process works in a filtered directory; the client sees each operation with the right
// name, thread, process, user, status and payload.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "host_test.h"
#include "platform/linux/host_kernel.h"

namespace linux_test {
namespace {

class FileRecordsTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        dir_ = MakeDirectory("data");
        ASSERT_EQ(linux_host::AttachVolume(dir_), kernel::STATUS_SUCCESS);
    }
    void TearDown() override {
        if (!dir_.empty()) {
            EXPECT_EQ(linux_host::DetachVolume(dir_), kernel::STATUS_SUCCESS);
        }
        HostTest::TearDown();
    }

    // The first record of the process at or after *from with this operation and name; advances
    // *from past it. nullptr when there is none.
    static const Record* Next(const std::vector<Record>& records, std::size_t* from,
                              std::uint32_t operation, const std::string& name) {
        for (std::size_t i = *from; i < records.size(); ++i) {
            if (records[i].operation == operation && records[i].name == name) {
                *from = i + 1;
                return &records[i];
            }
        }
        return nullptr;
    }

    std::string dir_;
};

TEST_F(FileRecordsTest, EveryChangeOfAChildProcessIsRecordedWithItsIdentity) {
    const ChildResult child = RunActor(
        dir_, {"write f.txt hello", "read f.txt", "fsync f.txt !", "rename f.txt g.txt",
               "link g.txt h.txt", "truncate g.txt 2", "utimes g.txt 1000000000 1200000000",
               "chmod g.txt 640", "chown g.txt 65534 65534", "setxattr g.txt user.colour blue",
               "removexattr g.txt user.colour", "symlink g.txt s.lnk", "unlink h.txt",
               "mkdir sub 755", "rmdir sub", "fallocate g.txt 8192", "exit 0"});
    ASSERT_EQ(child.exitCode, 0) << child.output;
    EXPECT_EQ(child.output,
              "write ok\nread ok hello\nfsync ok\nrename ok\nlink ok\ntruncate ok\nutimes ok\n"
              "chmod ok\nchown ok\nsetxattr ok\nremovexattr ok\nsymlink ok\nunlink ok\nmkdir ok\n"
              "rmdir ok\nfallocate ok\n");
    const std::uint32_t pid = static_cast<std::uint32_t>(child.pid);
    const std::string f = dir_ + "/f.txt";
    const std::string g = dir_ + "/g.txt";
    // The last change the script made is the allocation.
    ASSERT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        for (const Record& r : all) {
            if (r.processId == pid && r.operation == VeskOpAllocation) {
                return true;
            }
        }
        return false;
    })) << "no allocation record arrived";

    const std::vector<Record> records = RecordsOf(pid);
    std::string all;
    for (const Record& r : records) {
        all += Describe(r) + "\n";
    }
    SCOPED_TRACE(all);
    for (const Record& r : records) {
        EXPECT_EQ(r.threadId, pid) << Describe(r);  // a single-threaded child: TID = PID
        EXPECT_EQ(r.sid, "S-1-22-1-0") << Describe(r);
        EXPECT_EQ(r.status, 0u) << Describe(r);
        EXPECT_EQ(r.volumePrefixLength, dir_.size()) << Describe(r);
        EXPECT_EQ(r.impersonated, 0u) << Describe(r);
        EXPECT_EQ(r.sessionId, static_cast<std::uint32_t>(getsid(0))) << Describe(r);
    }

    std::size_t at = 0;
    const Record* create = Next(records, &at, VeskOpCreate, f);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(Copy(create->data.Create.Result), 1u) << "created, in the wire's numbering";
    const Record* write = Next(records, &at, VeskOpWrite, f);
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(std::string(write->bytes.begin(), write->bytes.end()), "hello");
    EXPECT_EQ(Copy(write->data.Transfer.Offset), 0);
    EXPECT_EQ(write->fileObjectId, create->fileObjectId);
    const Record* cleanup = Next(records, &at, VeskOpClose, f);
    ASSERT_NE(cleanup, nullptr);
    EXPECT_EQ(Copy(cleanup->data.Close.Kind), 1u);
    const Record* close = Next(records, &at, VeskOpClose, f);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(Copy(close->data.Close.Kind), 2u);

    const Record* read = Next(records, &at, VeskOpRead, f);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::string(read->bytes.begin(), read->bytes.end()), "hello");

    const Record* append = Next(records, &at, VeskOpWrite, f);
    ASSERT_NE(append, nullptr);
    EXPECT_EQ(Copy(append->data.Transfer.Offset), 5) << "appended behind the text";
    ASSERT_NE(Next(records, &at, VeskOpFlush, f), nullptr);

    const Record* rename = Next(records, &at, VeskOpRename, f);
    ASSERT_NE(rename, nullptr);
    EXPECT_EQ(rename->target, g);
    EXPECT_EQ(Copy(rename->data.Link.ReplaceIfExists), 1u);
    const Record* link = Next(records, &at, VeskOpLink, g);
    ASSERT_NE(link, nullptr) << "the renamed file has its new name";
    EXPECT_EQ(link->target, dir_ + "/h.txt");
    // The driver names the file by its newest link from now on.
    const std::string h = dir_ + "/h.txt";
    const Record* size = Next(records, &at, VeskOpSize, h);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(Copy(size->data.Value.Value), 2);
    const Record* times = Next(records, &at, VeskOpBasic, h);
    ASSERT_NE(times, nullptr);
    constexpr std::int64_t kEpoch = 116444736000000000LL;
    EXPECT_EQ(Copy(times->data.Basic.LastAccessTime), kEpoch + 1000000000LL * 10000000LL);
    EXPECT_EQ(Copy(times->data.Basic.LastWriteTime), kEpoch + 1200000000LL * 10000000LL);
    const Record* mode = Next(records, &at, VeskOpSecurity, h);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(Copy(mode->data.Security.InformationTypes), 4u) << "the DACL";
    const Record* owner = Next(records, &at, VeskOpSecurity, h);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(Copy(owner->data.Security.InformationTypes), 3u) << "owner and group";
    const Record* setEa = Next(records, &at, VeskOpEa, h);
    ASSERT_NE(setEa, nullptr);
    ASSERT_GE(setEa->bytes.size(), 8u + 11 + 1 + 4);
    EXPECT_EQ(setEa->bytes[5], 11) << "name length";
    EXPECT_EQ(std::string(setEa->bytes.begin() + 8, setEa->bytes.begin() + 19), "user.colour");
    EXPECT_EQ(std::string(setEa->bytes.begin() + 20, setEa->bytes.begin() + 24), "blue");
    const Record* removeEa = Next(records, &at, VeskOpEa, h);
    ASSERT_NE(removeEa, nullptr);
    EXPECT_EQ(removeEa->bytes[6] | removeEa->bytes[7] << 8, 0) << "no value: removed";
    const std::string s = dir_ + "/s.lnk";
    ASSERT_NE(Next(records, &at, VeskOpCreate, s), nullptr);
    const Record* reparse = Next(records, &at, VeskOpReparse, s);
    ASSERT_NE(reparse, nullptr);
    EXPECT_EQ(reparse->target, "g.txt");
    EXPECT_EQ(Copy(reparse->data.Reparse.Flags) & 1u, 1u) << "a relative target";
    ASSERT_NE(Next(records, &at, VeskOpDelete, dir_ + "/h.txt"), nullptr);
    ASSERT_NE(Next(records, &at, VeskOpCreate, dir_ + "/sub"), nullptr);
    ASSERT_NE(Next(records, &at, VeskOpDelete, dir_ + "/sub"), nullptr);
    const Record* allocation = Next(records, &at, VeskOpAllocation, g);
    ASSERT_NE(allocation, nullptr);
    EXPECT_EQ(Copy(allocation->data.Value.Value), 8192);

    // And the files are what the script made.
    struct stat st {};
    ASSERT_EQ(lstat(g.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_size, 8192);
}

// Several processes at once through the multi-threaded loop: every write of each is recorded as
// its own, and the files hold what each wrote.
TEST_F(FileRecordsTest, ConcurrentProcessesAreEachRecordedCompletely) {
    constexpr int kProcesses = 4;
    constexpr int kWrites = 40;
    std::vector<std::thread> runners;
    std::vector<ChildResult> results(kProcesses);
    for (int p = 0; p < kProcesses; ++p) {
        runners.emplace_back([&, p] {
            std::vector<std::string> script;
            for (int i = 0; i < kWrites; ++i) {
                script.push_back("append p" + std::to_string(p) + ".txt x");
            }
            script.push_back("exit 0");
            results[p] = RunActor(dir_, script);
        });
    }
    for (auto& runner : runners) {
        runner.join();
    }
    for (int p = 0; p < kProcesses; ++p) {
        ASSERT_EQ(results[p].exitCode, 0);
        const std::uint32_t pid = static_cast<std::uint32_t>(results[p].pid);
        auto writes = [pid](const std::vector<Record>& all) {
            return std::count_if(all.begin(), all.end(), [pid](const Record& r) {
                return r.processId == pid && r.operation == VeskOpWrite;
            });
        };
        EXPECT_TRUE(WaitFor([&](const std::vector<Record>& all) { return writes(all) == kWrites; }))
            << "process " << p << ": " << writes(Records()) << " writes recorded";
        for (const Record& r : RecordsOf(pid)) {
            EXPECT_EQ(r.name, dir_ + "/p" + std::to_string(p) + ".txt") << Describe(r);
        }
        struct stat st {};
        ASSERT_EQ(stat((dir_ + "/p" + std::to_string(p) + ".txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, kWrites);
    }
}

// Identity read when the process was created is read again when the process changes it: a child
// that starts a session of its own is reported in that session.
TEST_F(FileRecordsTest, AProcessThatChangesItsSessionIsReportedInTheNewOne) {
    const ChildResult child = RunActor(dir_, {"setsid", "write own.txt session", "exit 0"});
    ASSERT_EQ(child.exitCode, 0) << child.output;
    const std::uint32_t pid = static_cast<std::uint32_t>(child.pid);
    EXPECT_EQ(child.output, "setsid ok " + std::to_string(pid) + "\nwrite ok\n");
    ASSERT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        return std::any_of(all.begin(), all.end(), [&](const Record& r) {
            return r.processId == pid && r.operation == VeskOpWrite;
        });
    }));
    for (const Record& r : RecordsOf(pid)) {
        EXPECT_EQ(r.sessionId, pid) << Describe(r);
    }
}

}  // namespace
}  // namespace linux_test
