// Threads, processes and tokens of the real machine, interned per id while referenced.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <map>
#include <system_error>
#include <memory>

#include "linux_objects.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sid.h"
#include "proc_readers.h"

namespace linux_kernel {
namespace {

using kernel::Process;
using kernel::Thread;

constexpr kernel::Luid kSystemLogonId{0x3E7, 0};

constexpr std::size_t kRecentThreads = 1024;

struct Objects {
    std::mutex lock;
    std::map<std::uint32_t, Thread*> threads;
    std::map<std::uint32_t, Process*> processes;
    Process* system = nullptr;  // never forgotten
    // Requesting threads kept between requests (one reference each), oldest first in order.
    bool keepRecent = false;
    std::map<std::uint32_t, Thread*> recent;
    std::deque<std::uint32_t> recentOrder;
};

Objects& O() {
    static Objects objects;
    return objects;
}

std::uint32_t CurrentTid() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

std::vector<std::uint8_t> UnixUserSid(std::uint32_t uid) {
    return kernel::SidFromString("S-1-22-1-" + std::to_string(uid));
}

void InitPrimaryToken(Process* process, std::uint32_t logonId) {
    process->primary.ownerProcess = process;
    process->primary.sid = process->system ? kernel::SidFromString("S-1-5-18")
                                           : UnixUserSid(process->realUid);
    process->primary.logonId =
        process->system ? kSystemLogonId : kernel::Luid{logonId, 0};
}

Process* SystemProcessLocked() {
    if (O().system == nullptr) {
        auto* process = new Process;
        process->id = static_cast<std::uint32_t>(getpid());
        process->sessionId = static_cast<std::uint32_t>(getsid(0));
        process->parentId = static_cast<std::uint32_t>(getppid());
        process->realUid = static_cast<std::uint32_t>(getuid());
        process->system = true;
        process->references = 1;  // the face's own, for ever
        InitPrimaryToken(process, 0);
        O().system = process;
        O().processes[process->id] = process;
    }
    return O().system;
}

void ReferenceLocked(Process* process) {
    ++process->references;
}

void DereferenceLocked(Process* process) {
    if (--process->references < 0) {
        kernel::BugCheck("process dereferenced more often than referenced");
    }
    if (process->references == 0) {
        auto it = O().processes.find(process->id);
        if (it != O().processes.end() && it->second == process) {
            O().processes.erase(it);
        }
        delete process;
    }
}

// Reads the process outside the lock, then interns it (another caller may have been first).
Process* InternProcessUnlocked(std::uint32_t processId, const Process* known) {
    {
        std::lock_guard lock(O().lock);
        Process* system = SystemProcessLocked();
        if (processId == system->id) {
            ReferenceLocked(system);
            return system;
        }
        auto it = O().processes.find(processId);
        if (it != O().processes.end()) {
            ReferenceLocked(it->second);
            return it->second;
        }
    }
    auto fresh = std::make_unique<Process>();
    fresh->id = processId;
    const auto status = ReadTaskStatus(processId);
    const auto session = ReadSession(processId);
    std::uint32_t logonId = 0;
    if (status && session) {
        fresh->realUid = status->realUid;
        fresh->parentId = status->parent;
        fresh->sessionId = *session;
        logonId = LogonIdOf(ReadAuditSession(processId), *session);
        fresh->imagePath = ReadImagePath(processId);
    } else if (known != nullptr) {
        // Gone before /proc was read: what is known.
        fresh->realUid = known->realUid.load();
        fresh->parentId = known->parentId.load();
        fresh->sessionId = known->sessionId.load();
        std::lock_guard lock(O().lock);
        logonId = known->primary.logonId.LowPart;
        fresh->imagePath = known->imagePath;
    }
    InitPrimaryToken(fresh.get(), logonId);
    fresh->references = 1;
    std::lock_guard lock(O().lock);
    auto it = O().processes.find(processId);
    if (it != O().processes.end()) {
        ReferenceLocked(it->second);
        return it->second;
    }
    Process* process = fresh.release();
    O().processes[processId] = process;
    return process;
}

void DereferenceThreadLocked(Thread* thread) {
    if (--thread->references < 0) {
        kernel::BugCheck("thread dereferenced more often than referenced");
    }
    if (thread->references == 0) {
        auto it = O().threads.find(thread->id);
        if (it != O().threads.end() && it->second == thread) {
            O().threads.erase(it);
        }
        Process* process = thread->process;
        if (thread->host.joinable()) {
            thread->host.detach();  // ended (WaitForThread) or left to end on its own
        }
        delete thread;
        DereferenceLocked(process);
    }
}

// A referenced thread object for the TID: the interned one, or a new one when the task exists
// (or, for a requestor, whatever /proc says or not). nullptr when lookUp and no such task lives.
Thread* InternThread(std::uint32_t threadId, bool mustExist, const Requestor* requestor) {
    {
        std::lock_guard lock(O().lock);
        auto it = O().threads.find(threadId);
        if (it != O().threads.end()) {
            ++it->second->references;
            return it->second;
        }
    }
    const auto status = ReadTaskStatus(threadId);
    if (!status && mustExist) {
        return nullptr;
    }
    auto fresh = std::make_unique<Thread>();
    fresh->id = threadId;
    std::uint32_t processId = status ? status->threadGroup : threadId;
    Process known;
    if (!status && requestor != nullptr) {
        known.realUid = requestor->fsUid;  // nothing better is known
    }
    fresh->process = InternProcessUnlocked(processId, status ? nullptr : &known);
    fresh->system = fresh->process->system;
    fresh->fsUid = status ? status->fsUid : known.realUid.load();
    fresh->fsGid = status ? status->fsGid : 0;
    fresh->impersonation.impersonation = true;
    fresh->references = 1;
    std::lock_guard lock(O().lock);
    auto it = O().threads.find(threadId);
    if (it != O().threads.end()) {
        ++it->second->references;
        DereferenceLocked(fresh->process);
        return it->second;
    }
    Thread* thread = fresh.release();
    thread->impersonation.ownerThread = thread;
    O().threads[threadId] = thread;
    return thread;
}

// The host thread's own thread object, referenced for as long as the host thread lives.
struct HostThreadHolder {
    Thread* thread = nullptr;
    ~HostThreadHolder() {
        if (thread != nullptr) {
            kernel::DereferenceObject(thread);
        }
    }
};

thread_local HostThreadHolder hostThread;
thread_local Thread* requestThread = nullptr;

Thread* SystemThreadOfRequest() {
    if (hostThread.thread == nullptr) {
        hostThread.thread = InternThread(CurrentTid(), false, nullptr);
    }
    return hostThread.thread;
}

}  // namespace

RequestorScope::RequestorScope(const Requestor& requestor) : previous_(requestThread) {
    if (requestor.threadId == 0) {
        // Sent by the kernel itself (a release after its process died): the system's doing.
        thread_ = SystemThreadOfRequest();
        kernel::ReferenceObject(thread_);
    } else {
        thread_ = InternThread(requestor.threadId, false, &requestor);
        // A session the process started since it was read (one system call; the connector's
        // report of it may still be on its way).
        const pid_t session = getsid(static_cast<pid_t>(requestor.threadId));
        if (session >= 0 && static_cast<std::uint32_t>(session) != thread_->process->sessionId &&
            !thread_->process->system) {
            RefreshProcess(thread_->process->id);
        }
        std::lock_guard lock(O().lock);
        thread_->fsUid = requestor.fsUid;
        thread_->fsGid = requestor.fsGid;
        if (O().keepRecent && O().recent.emplace(thread_->id, thread_).second) {
            ++thread_->references;  // the cache's
            O().recentOrder.push_back(thread_->id);
            while (O().recent.size() > kRecentThreads && !O().recentOrder.empty()) {
                const std::uint32_t oldest = O().recentOrder.front();
                O().recentOrder.pop_front();
                auto it = O().recent.find(oldest);
                if (it != O().recent.end()) {
                    Thread* dropped = it->second;
                    O().recent.erase(it);
                    DereferenceThreadLocked(dropped);
                }
            }
        }
    }
    requestThread = thread_;
}

RequestorScope::~RequestorScope() {
    requestThread = previous_;
    kernel::DereferenceObject(thread_);
}

void KeepRecentThreads(bool keep) {
    if (!keep) {
        ForgetRecentThreads();
    }
    std::lock_guard lock(O().lock);
    O().keepRecent = keep;
}

void ForgetRecentThread(std::uint32_t threadId) {
    std::lock_guard lock(O().lock);
    auto it = O().recent.find(threadId);
    if (it != O().recent.end()) {
        Thread* thread = it->second;
        O().recent.erase(it);
        DereferenceThreadLocked(thread);
    }
    if (O().recent.empty()) {
        O().recentOrder.clear();
    }
}

void ForgetRecentThreads() {
    std::lock_guard lock(O().lock);
    for (auto& [id, thread] : O().recent) {
        DereferenceThreadLocked(thread);
    }
    O().recent.clear();
    O().recentOrder.clear();
}

void RefreshProcess(std::uint32_t processId) {
    const auto status = ReadTaskStatus(processId);
    const auto session = ReadSession(processId);
    if (!status || !session) {
        return;  // gone: what is known stays
    }
    const std::uint32_t logonId = LogonIdOf(ReadAuditSession(processId), *session);
    std::lock_guard lock(O().lock);
    auto it = O().processes.find(processId);
    if (it == O().processes.end() || it->second->system) {
        return;
    }
    Process* process = it->second;
    process->realUid = status->realUid;
    process->parentId = status->parent;
    process->sessionId = *session;
    process->primary.sid = UnixUserSid(status->realUid);
    process->primary.logonId = kernel::Luid{logonId, 0};
}

void RefreshAllProcesses() {
    std::vector<std::uint32_t> ids;
    {
        std::lock_guard lock(O().lock);
        for (auto& [id, process] : O().processes) {
            ids.push_back(id);
        }
    }
    for (std::uint32_t id : ids) {
        RefreshProcess(id);
    }
}

Process* InternProcess(std::uint32_t processId, const Process* known) {
    return InternProcessUnlocked(processId, known);
}

void SetProcessImage(Process* process, const std::string& path) {
    std::lock_guard lock(O().lock);
    process->imagePath = path;
}

void SetProcessExitStatus(Process* process, kernel::NTSTATUS status) {
    std::lock_guard lock(O().lock);
    process->exitStatus = status;
}

std::string ProcessImage(Process* process) {
    std::lock_guard lock(O().lock);
    return process->imagePath;
}

kernel::NTSTATUS ProcessExitStatusOf(Process* process) {
    std::lock_guard lock(O().lock);
    return process->exitStatus;
}

Process* SystemProcess() {
    std::lock_guard lock(O().lock);
    return SystemProcessLocked();
}

std::size_t InternedObjects() {
    std::lock_guard lock(O().lock);
    return O().threads.size() + O().processes.size();
}

}  // namespace linux_kernel

namespace kernel {

using linux_kernel::O;

void ReferenceObject(Thread* thread) {
    std::lock_guard lock(O().lock);
    ++thread->references;
}

void DereferenceObject(Thread* thread) {
    std::lock_guard lock(O().lock);
    linux_kernel::DereferenceThreadLocked(thread);
}

void ReferenceObject(Process* process) {
    std::lock_guard lock(O().lock);
    linux_kernel::ReferenceLocked(process);
}

void DereferenceObject(Process* process) {
    std::lock_guard lock(O().lock);
    linux_kernel::DereferenceLocked(process);
}

Thread* CurrentThread() {
    if (linux_kernel::requestThread != nullptr) {
        return linux_kernel::requestThread;
    }
    return linux_kernel::SystemThreadOfRequest();
}

NTSTATUS LookupThreadByThreadId(std::uint32_t threadId, Thread** thread) {
    *thread = nullptr;
    if (threadId == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    Thread* found = linux_kernel::InternThread(threadId, true, nullptr);
    if (found == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *thread = found;
    return STATUS_SUCCESS;
}

NTSTATUS LookupProcessByProcessId(std::uint32_t processId, Process** process) {
    *process = nullptr;
    if (processId == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    {
        std::lock_guard lock(O().lock);
        auto it = O().processes.find(processId);
        if (it != O().processes.end()) {
            linux_kernel::ReferenceLocked(it->second);
            *process = it->second;
            return STATUS_SUCCESS;
        }
    }
    if (!linux_kernel::ReadTaskStatus(processId)) {
        return STATUS_INVALID_PARAMETER;
    }
    *process = linux_kernel::InternProcess(processId);
    return STATUS_SUCCESS;
}

std::uint32_t ThreadId(Thread* thread) {
    return thread->id;
}
bool IsSystemThread(Thread* thread) {
    return thread->system;
}
Process* ThreadToProcess(Thread* thread) {
    return thread->process;
}
std::uint32_t ProcessId(Process* process) {
    return process->id;
}
std::uint32_t ProcessSessionId(Process* process) {
    return process->sessionId;
}

NTSTATUS CreateSystemThread(SystemThreadRoutine routine, void* context, Thread** thread) {
    *thread = nullptr;
    // The new host thread tells its TID before running the routine, so the object exists (and
    // is the caller's) before the routine can look itself up.
    struct Handshake {
        std::mutex mutex;
        std::condition_variable cv;
        std::uint32_t tid = 0;
        Thread* created = nullptr;
    };
    auto handshake = std::make_shared<Handshake>();
    std::thread host;
    try {
        host = std::thread([handshake, routine, context] {
            Thread* self;
            {
                std::unique_lock lock(handshake->mutex);
                handshake->tid = linux_kernel::CurrentTid();
                handshake->cv.notify_all();
                handshake->cv.wait(lock, [&] { return handshake->created != nullptr; });
                self = handshake->created;
            }
            linux_kernel::hostThread.thread = self;  // dropped when the host thread ends
            routine(context);
            std::lock_guard lock(self->endMutex);
            self->ended = true;
            self->endCv.notify_all();
        });
    } catch (const std::system_error&) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::uint32_t tid;
    {
        std::unique_lock lock(handshake->mutex);
        handshake->cv.wait(lock, [&] { return handshake->tid != 0; });
        tid = handshake->tid;
    }
    Thread* object = linux_kernel::InternThread(tid, false, nullptr);  // the caller's reference
    ReferenceObject(object);                                           // the host thread's
    object->host = std::move(host);
    {
        std::lock_guard lock(handshake->mutex);
        handshake->created = object;
        handshake->cv.notify_all();
    }
    *thread = object;
    return STATUS_SUCCESS;
}

void WaitForThread(Thread* thread) {
    if (CurrentIrql() >= DISPATCH_LEVEL) {
        BugCheck("blocking wait at DISPATCH_LEVEL or above");
    }
    {
        std::unique_lock lock(thread->endMutex);
        thread->endCv.wait(lock, [thread] { return thread->ended; });
    }
    if (thread->host.joinable() && thread->host.get_id() != std::this_thread::get_id()) {
        thread->host.join();
    }
}

Token* ReferenceImpersonationToken(Thread* thread, ImpersonationLevel* level) {
    std::lock_guard lock(O().lock);
    if (thread->system || thread->fsUid == thread->process->realUid) {
        return nullptr;
    }
    thread->impersonation.sid = linux_kernel::UnixUserSid(thread->fsUid);
    thread->impersonation.logonId = thread->process->primary.logonId;
    ++thread->references;
    if (level != nullptr) {
        *level = ImpersonationLevel::Impersonation;
    }
    return &thread->impersonation;
}

void DereferenceImpersonationToken(Token* token) {
    if (!token->impersonation) {
        BugCheck("a primary token released as an impersonation token");
    }
    DereferenceObject(token->ownerThread);
}

Token* ReferencePrimaryToken(Process* process) {
    ReferenceObject(process);
    return &process->primary;
}

void DereferencePrimaryToken(Token* token) {
    if (token->impersonation) {
        BugCheck("an impersonation token released as a primary token");
    }
    DereferenceObject(token->ownerProcess);
}

NTSTATUS QueryAuthenticationIdToken(Token* token, Luid* authenticationId) {
    std::lock_guard lock(O().lock);
    *authenticationId = token->logonId;
    return STATUS_SUCCESS;
}

NTSTATUS QueryTokenUser(Token* token, TokenUser** user) {
    std::vector<std::uint8_t> sid;
    {
        std::lock_guard lock(O().lock);
        sid = token->sid;
    }
    void* block = AllocatePool(PoolType::Paged, sizeof(TokenUser) + sid.size(), kTokenUserTag);
    if (block == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* result = static_cast<TokenUser*>(block);
    auto* sidBytes = reinterpret_cast<std::uint8_t*>(result + 1);
    std::memcpy(sidBytes, sid.data(), sid.size());
    result->Sid = sidBytes;
    result->Attributes = 0;
    *user = result;
    return STATUS_SUCCESS;
}

}  // namespace kernel
