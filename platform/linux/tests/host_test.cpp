#include "host_test.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/kernel/file_name_information.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/sid.h"
#include "platform/linux/host_kernel.h"
#include "startup/driver_entry.h"

extern char** environ;

namespace linux_test {
namespace {

constexpr const char16_t* kServiceKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";

std::string Narrow(const VeskChar* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return out;
}

}  // namespace

bool IsRoot() {
    return geteuid() == 0;
}

bool HasFuse() {
    return access("/dev/fuse", R_OK | W_OK) == 0;
}

std::string Describe(const Record& r) {
    char line[512];
    std::snprintf(line, sizeof line, "op 0x%x status 0x%x tid %u pid %u %s name %s target %s",
                  r.operation, r.status, r.threadId, r.processId, r.sid.c_str(), r.name.c_str(),
                  r.target.c_str());
    return line;
}

ChildResult RunChild(const std::vector<std::string>& arguments) {
    ChildResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    for (const auto& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return result;
    }
    result.pid = pid;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ChildResult RunActor(const std::string& directory, const std::vector<std::string>& script,
                     const std::string& asUser) {
    std::vector<std::string> arguments{FS_ACTOR, "--dir", directory};
    if (!asUser.empty()) {
        arguments.push_back("--as");
        arguments.push_back(asUser);
    }
    arguments.insert(arguments.end(), script.begin(), script.end());
    return RunChild(arguments);
}

void HostTest::SetUp() {
    SKIP_UNLESS_ROOT_WITH_FUSE();
    char pattern[] = "/tmp/vesk-linux-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    chmod(root_.c_str(), 0755);  // the unprivileged user walks through it
    setenv("VESK_ROOT", root_.c_str(), 1);
    kernel::ResetPoolAccounting();
    ASSERT_EQ(linux_host::StartKernel(), kernel::STATUS_SUCCESS);
    const std::u16string key = kServiceKey;
    const kernel::UnicodeString path{static_cast<std::uint16_t>(key.size() * 2),
                                     static_cast<std::uint16_t>(key.size() * 2),
                                     const_cast<char16_t*>(key.data())};
    ASSERT_EQ(vesk::driver::DriverEntry(linux_host::DriverObject(), path), kernel::STATUS_SUCCESS);
    loaded_ = true;
    ASSERT_EQ(port_socket::PortSocketServer::Start(vesk::driver::kVeskPortName, {}, &server_),
              kernel::STATUS_SUCCESS);
    ASSERT_TRUE(VeskInitialize(0, nullptr, &HostTest::OnFile, &HostTest::OnProcess, this))
        << VeskGetErrorCode();
    initialized_ = true;
    ASSERT_TRUE(VeskActivate()) << VeskGetErrorCode();
}

void HostTest::TearDown() {
    if (initialized_) {
        VeskUninitialize();
    }
    server_.reset();
    if (loaded_) {
        EXPECT_EQ(linux_host::UnloadFilter(linux_host::RegisteredFilter()), kernel::STATUS_SUCCESS);
    }
    linux_host::StopKernel();
    if (loaded_) {
        // Everything the driver and the face took for volumes, files and records is back.
        EXPECT_EQ(kernel::DescribeOutstandingPool(), "") << "pool blocks left allocated";
        EXPECT_EQ(kernel::LiveFileNameInformationRecords(), 0) << "name records not given back";
    }
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::string HostTest::MakeDirectory(const std::string& name) {
    const std::string path = root_ + "/" + name;
    mkdir(path.c_str(), 0755);
    return path;
}

std::vector<Record> HostTest::Records() {
    std::lock_guard lock(mutex_);
    return records_;
}

bool HostTest::WaitFor(const std::function<bool(const std::vector<Record>&)>& done,
                       std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(records_); });
}

std::vector<Record> HostTest::RecordsOf(std::uint32_t processId) {
    std::vector<Record> found;
    for (const Record& r : Records()) {
        if (r.processId == processId && r.category == VeskCategoryFileSystem) {
            found.push_back(r);
        }
    }
    return found;
}

void HostTest::OnFile(void* argument, const VeskNotification* n, const VeskOperationData* d) {
    static_cast<HostTest*>(argument)->Add(n, d);
}

void HostTest::OnProcess(void* argument, const VeskNotification* n, const VeskOperationData* d) {
    static_cast<HostTest*>(argument)->Add(n, d);
}

void HostTest::Add(const VeskNotification* n, const VeskOperationData* d) {
    Record r;
    r.category = n->Category;
    r.operation = n->Operation;
    r.status = n->Status;
    r.threadId = n->ThreadId;
    r.processId = n->ProcessId;
    r.sessionId = n->SessionId;
    r.logonId = n->AuthenticationId.LowPart;
    r.impersonated = n->Impersonated;
    r.fileObjectId = n->FileObjectId;
    r.volumeId = n->VolumeId;
    r.sid = n->Sid != nullptr ? kernel::SidToString(n->Sid) : "";
    r.name = Narrow(n->Name);
    r.volumePrefixLength = n->VolumePrefixLength;
    if (d != nullptr) {
        r.data = *d;
        if (n->Category == VeskCategoryFileSystem) {
            switch (n->Operation) {
                case VeskOpRead:
                case VeskOpWrite:
                    if ((d->Transfer.Flags & 0x8) != 0 && d->Transfer.Data != nullptr) {
                        r.bytes.assign(d->Transfer.Data, d->Transfer.Data + d->Transfer.Length);
                    }
                    break;
                case VeskOpRename:
                case VeskOpLink:
                    r.target = Narrow(d->Link.Target);
                    break;
                case VeskOpReparse:
                    r.target = Narrow(d->Reparse.Target);
                    break;
                case VeskOpEa:
                    if (d->Sized.Data != nullptr) {
                        r.bytes.assign(d->Sized.Data, d->Sized.Data + d->Sized.Length);
                    }
                    break;
                case VeskOpSecurity:
                    if (d->Security.Descriptor != nullptr) {
                        r.bytes.assign(d->Security.Descriptor,
                                       d->Security.Descriptor + d->Security.DescriptorLength);
                    }
                    break;
                default:
                    break;
            }
        }
    }
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(r));
    changed_.notify_all();
}

}  // namespace linux_test
