// The driver loaded on the Linux face in this test program: the host kernel started under a
// VESK_ROOT of the test's own, the driver's entry called, its port served on a Unix socket, and
// a libvesklib client in this process that keeps a copy of every record it is given. Tests run
// programs as child processes against real directories attached as volumes. Root tests skip
// when not run as root or without /dev/fuse.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "port_socket_server.h"
#include "vesk/vesklib.h"

namespace linux_test {

// A record as the client saw it, with its pointers' contents copied.
struct Record {
    std::uint32_t category = 0;
    std::uint32_t operation = 0;
    std::uint32_t status = 0;
    std::uint32_t threadId = 0;
    std::uint32_t processId = 0;
    std::uint32_t sessionId = 0;
    std::uint32_t logonId = 0;
    std::uint32_t impersonated = 0;
    std::uint32_t fileObjectId = 0;
    std::uint32_t volumeId = 0;
    std::string sid;
    std::string name;
    std::uint16_t volumePrefixLength = 0;
    VeskOperationData data{};        // pointers inside are not valid; see the copies below
    std::string target;              // link and rename targets, reparse targets
    std::vector<std::uint8_t> bytes;  // transfer data, EA entries, security descriptors
};

std::string Describe(const Record& r);

// A packed field's value (the client's records are byte-packed; references to their fields
// would be misaligned).
template <typename T>
T Copy(T value) {
    return value;
}

// Runs a program and waits for it: its exit status and what it printed.
struct ChildResult {
    int pid = 0;
    int exitCode = -1;
    std::string output;
};
ChildResult RunChild(const std::vector<std::string>& arguments);

// The actor program (fs_actor) with a script.
ChildResult RunActor(const std::string& directory, const std::vector<std::string>& script,
                     const std::string& asUser = "");

bool IsRoot();
bool HasFuse();

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh directory below the test's root.
    std::string MakeDirectory(const std::string& name);
    // Every record so far.
    std::vector<Record> Records();
    // Waits (generously) until done(records) holds; false on time-out.
    bool WaitFor(const std::function<bool(const std::vector<Record>&)>& done,
                 std::chrono::seconds limit = std::chrono::seconds(30));
    // The file-system records of one process, in order.
    std::vector<Record> RecordsOf(std::uint32_t processId);

    std::string root_;
    std::unique_ptr<port_socket::PortSocketServer> server_;
    bool loaded_ = false;
    bool initialized_ = false;

  private:
    static void OnFile(void* argument, const VeskNotification* n, const VeskOperationData* d);
    static void OnProcess(void* argument, const VeskNotification* n, const VeskOperationData* d);
    void Add(const VeskNotification* n, const VeskOperationData* d);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Record> records_;
};

}  // namespace linux_test

#define SKIP_UNLESS_ROOT_WITH_FUSE()                                          \
    do {                                                                      \
        if (!::linux_test::IsRoot() || !::linux_test::HasFuse()) {            \
            GTEST_SKIP() << "needs root and /dev/fuse for real FUSE mounts";  \
        }                                                                     \
    } while (0)
