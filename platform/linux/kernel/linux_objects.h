// The kernel's thread, process and token objects on the real machine. Internal to the Linux face.
//
// Threads and processes are interned by id while referenced: looking a thread up by its TID and
// meeting it as the requestor of a file operation give the same object, so the driver's pointer
// comparisons (its client's excluded threads, say) hold. The last dereference forgets the object.
// Tokens live inside their owner (a process's primary token, a thread's impersonation token) and
// a reference to a token is a reference to its owner.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/process.h"
#include "platform/kernel/token.h"

namespace kernel {

class Token {
  public:
    bool impersonation = false;
    Thread* ownerThread = nullptr;    // impersonation tokens
    Process* ownerProcess = nullptr;  // primary tokens
    std::vector<std::uint8_t> sid;    // protected by the objects' lock
    Luid logonId{0, 0};               // protected by the objects' lock
};

class Process {
  public:
    std::uint32_t id = 0;
    // Read again when the process changes its identity (process connector).
    std::atomic<std::uint32_t> sessionId{0};
    std::atomic<std::uint32_t> parentId{0};
    std::atomic<std::uint32_t> realUid{0};
    bool system = false;
    std::string imagePath;         // protected by the objects' lock
    NTSTATUS exitStatus = 0;       // protected by the objects' lock
    std::int64_t references = 0;   // protected by the objects' lock
    Token primary;
};

class Thread {
  public:
    std::uint32_t id = 0;
    Process* process = nullptr;  // referenced by the thread
    bool system = false;
    std::uint32_t fsUid = 0;  // protected by the objects' lock
    std::uint32_t fsGid = 0;
    std::int64_t references = 0;  // protected by the objects' lock
    Token impersonation;

    // System threads created by CreateSystemThread.
    std::mutex endMutex;
    std::condition_variable endCv;
    bool ended = false;
    std::thread host;
};

}  // namespace kernel

namespace linux_kernel {

// What a file request says about who asks: the TID of the requesting thread (0: the kernel
// itself), its file-system uid and gid.
struct Requestor {
    std::uint32_t threadId = 0;
    std::uint32_t fsUid = 0;
    std::uint32_t fsGid = 0;
};

// While it lives, kernel::CurrentThread() on this host thread is the requestor's thread.
class RequestorScope {
  public:
    explicit RequestorScope(const Requestor& requestor);
    ~RequestorScope();
    RequestorScope(const RequestorScope&) = delete;
    RequestorScope& operator=(const RequestorScope&) = delete;
    kernel::Thread* thread() const { return thread_; }

  private:
    kernel::Thread* thread_;
    kernel::Thread* previous_;
};

// A referenced process object for the id, built from /proc, or from what is known (known may be
// nullptr) when /proc no longer has it. Never nullptr.
kernel::Process* InternProcess(std::uint32_t processId, const kernel::Process* known = nullptr);
// Records what the process notifications learned.
void SetProcessImage(kernel::Process* process, const std::string& path);
void SetProcessExitStatus(kernel::Process* process, kernel::NTSTATUS status);
std::string ProcessImage(kernel::Process* process);
kernel::NTSTATUS ProcessExitStatusOf(kernel::Process* process);

// Threads that made requests are kept (referenced) between requests while keeping is on, so
// their identity is not read from /proc again for every request; the process connector turns it
// on while it listens, and forgets a thread when it ends. A process's identity (real uid,
// session, logon id) is read again when the connector reports that it changed.
void KeepRecentThreads(bool keep);
void ForgetRecentThread(std::uint32_t threadId);
void ForgetRecentThreads();
void RefreshProcess(std::uint32_t processId);
void RefreshAllProcesses();

// The system process: the host itself.
kernel::Process* SystemProcess();

// Threads and processes currently interned (for tests that check nothing is kept).
std::size_t InternedObjects();

}  // namespace linux_kernel
