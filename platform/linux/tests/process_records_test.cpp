// Process records from the kernel's process connector: a child's creation (fork, then exec with
// its new image) and its exit with its exit code.
#include "host_test.h"

namespace linux_test {
namespace {

class ProcessRecordsTest : public HostTest {};

TEST_F(ProcessRecordsTest, AChildIsSeenCreatedWithItsImageAndEndingWithItsExitCode) {
    const ChildResult child = RunActor(root_, {"exit 3"});
    ASSERT_EQ(child.exitCode, 3);
    const std::uint32_t pid = static_cast<std::uint32_t>(child.pid);
    auto ofChild = [pid](const Record& r) {
        return r.category == VeskCategoryProcess && Copy(r.data.Process.ProcessId) == pid;
    };
    ASSERT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        return std::any_of(all.begin(), all.end(), [&](const Record& r) {
            return ofChild(r) && r.operation == VeskOpProcessExit;
        });
    })) << "no exit record of the child";

    std::vector<Record> records;
    for (const Record& r : Records()) {
        if (ofChild(r)) {
            records.push_back(r);
        }
    }
    ASSERT_GE(records.size(), 3u) << "fork, exec and exit";
    const Record& fork = records[0];
    EXPECT_EQ(fork.operation, static_cast<std::uint32_t>(VeskOpProcessCreate));
    EXPECT_EQ(Copy(fork.data.Process.ParentProcessId), static_cast<std::uint32_t>(getpid()));
    EXPECT_EQ(fork.processId, static_cast<std::uint32_t>(getpid())) << "created by this process";

    const Record& exec = records[1];
    EXPECT_EQ(exec.operation, static_cast<std::uint32_t>(VeskOpProcessCreate));
    EXPECT_EQ(exec.name, FS_ACTOR) << "exec names the new image";
    EXPECT_EQ(exec.threadId, pid) << "the process itself ran the new image";
    EXPECT_EQ(Copy(exec.data.Process.ParentProcessId), static_cast<std::uint32_t>(getpid()));

    for (const Record& r : Records()) {
        EXPECT_FALSE(r.category == VeskCategoryFileSystem && r.name == FS_ACTOR)
            << "the host's own open of the image to name it is not reported: " << Describe(r);
        EXPECT_FALSE(r.category == VeskCategoryFileSystem && r.operation == VeskOpAttach &&
                     r.name.empty())
            << "the machine's own file system is no volume of the filter";
    }

    const Record& exit = records.back();
    EXPECT_EQ(exit.operation, static_cast<std::uint32_t>(VeskOpProcessExit));
    EXPECT_EQ(exit.status, 3u);
    EXPECT_EQ(exit.name, FS_ACTOR);
    EXPECT_EQ(Copy(exit.data.Process.ParentProcessId), static_cast<std::uint32_t>(getpid()));
}

TEST_F(ProcessRecordsTest, AProcessEndedBySignalReportsTheShellsCode) {
    // sh kills itself: 128 + 9.
    const ChildResult child = RunChild({"/bin/sh", "-c", "kill -9 $$"});
    ASSERT_EQ(child.exitCode, 137);
    const std::uint32_t pid = static_cast<std::uint32_t>(child.pid);
    EXPECT_TRUE(WaitFor([&](const std::vector<Record>& all) {
        return std::any_of(all.begin(), all.end(), [&](const Record& r) {
            return r.category == VeskCategoryProcess && Copy(r.data.Process.ProcessId) == pid &&
                   r.operation == VeskOpProcessExit && r.status == 137u;
        });
    }));
}

}  // namespace
}  // namespace linux_test
