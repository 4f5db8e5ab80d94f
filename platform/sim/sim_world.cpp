#include "sim_world.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/process_notify.h"
#include "platform/kernel/sid.h"

namespace kernel {

class Token {
public:
    bool impersonation = false;
    std::vector<std::uint8_t> sid;
    Luid logonId{0, 0};
    NTSTATUS authIdStatus = STATUS_SUCCESS;
    NTSTATUS userStatus = STATUS_SUCCESS;
    bool emptySid = false;
    std::atomic<std::int64_t> references{0};  // taken through the kernel's routines
};

class Process {
public:
    std::uint32_t id = 0;
    std::uint32_t sessionId = 0;
    Token* primaryToken = nullptr;
    std::atomic<std::int64_t> references{0};
};

class Thread {
public:
    std::uint32_t id = 0;
    Process* process = nullptr;
    bool system = false;
    bool exited = false;  // protected by the world lock
    Token* impersonationToken = nullptr;  // protected by the world lock
    ImpersonationLevel level = ImpersonationLevel::Anonymous;
    std::atomic<std::int64_t> references{0};

    // System threads: ended when the routine returned.
    std::mutex endMutex;
    std::condition_variable endCv;
    bool ended = false;
    std::thread host;
};

}  // namespace kernel

namespace sim {
namespace {

using kernel::Process;
using kernel::Thread;
using kernel::Token;

struct State {
    std::mutex lock;
    std::vector<std::unique_ptr<Token>> tokens;
    std::vector<std::unique_ptr<Process>> processes;
    std::vector<std::unique_ptr<Thread>> threads;
    std::map<std::uint32_t, Thread*> threadsById;  // living threads only
    std::uint32_t nextThreadId = 1000;
    Process* system = nullptr;
    kernel::NTSTATUS failSystemThreads = 0;
    // Objects of earlier tests, kept alive because code may still hold pointers to them.
    std::vector<std::unique_ptr<Token>> oldTokens;
    std::vector<std::unique_ptr<Process>> oldProcesses;
    std::vector<std::unique_ptr<Thread>> oldThreads;
};

State& S() {
    static State state;
    return state;
}

thread_local Thread* currentThread = nullptr;

Token* NewToken(const TokenSpec& spec, bool impersonation) {
    auto token = std::make_unique<Token>();
    token->impersonation = impersonation;
    token->sid = kernel::SidFromString(spec.sid);
    if (token->sid.empty()) {
        kernel::BugCheck("simulated token with an invalid SID text");
    }
    token->logonId = spec.logonId;
    Token* raw = token.get();
    std::lock_guard lock(S().lock);
    S().tokens.push_back(std::move(token));
    return raw;
}

Process* NewProcessLocked(std::uint32_t id, std::uint32_t session, Token* primary) {
    auto process = std::make_unique<Process>();
    process->id = id;
    process->sessionId = session;
    process->primaryToken = primary;
    Process* raw = process.get();
    S().processes.push_back(std::move(process));
    return raw;
}

Thread* NewThreadLocked(Process* process, std::uint32_t id, bool system) {
    if (id == 0) {
        while (S().threadsById.count(S().nextThreadId) != 0) {
            ++S().nextThreadId;
        }
        id = S().nextThreadId++;
    }
    auto thread = std::make_unique<Thread>();
    thread->id = id;
    thread->process = process;
    thread->system = system;
    Thread* raw = thread.get();
    S().threads.push_back(std::move(thread));
    S().threadsById[id] = raw;
    return raw;
}

void CreateSystemProcessLocked() {
    auto token = std::make_unique<Token>();
    token->sid = kernel::SidFromString("S-1-5-18");
    token->logonId = World::kSystemLogonId;
    Token* raw = token.get();
    S().tokens.push_back(std::move(token));
    S().system = NewProcessLocked(World::kSystemProcessId, 0, raw);
}

void EnsureSystemProcess() {
    std::lock_guard lock(S().lock);
    if (S().system == nullptr) {
        CreateSystemProcessLocked();
    }
}

}  // namespace

void World::Reset() {
    std::lock_guard lock(S().lock);
    for (auto& t : S().threads) {
        if (t->host.joinable()) {
            t->host.detach();  // a system thread a test left running; its object stays alive
        }
    }
    auto keep = [](auto& from, auto& to) {
        for (auto& p : from) {
            to.push_back(std::move(p));
        }
        from.clear();
    };
    keep(S().tokens, S().oldTokens);
    keep(S().processes, S().oldProcesses);
    keep(S().threads, S().oldThreads);
    S().threadsById.clear();
    S().nextThreadId = 1000;
    S().system = nullptr;
    S().failSystemThreads = 0;
    CreateSystemProcessLocked();
    currentThread = nullptr;
}

Token* World::CreatePrimaryToken(const TokenSpec& spec) { return NewToken(spec, false); }
Token* World::CreateImpersonationToken(const TokenSpec& spec) { return NewToken(spec, true); }

Process* World::CreateProcess(std::uint32_t processId, std::uint32_t sessionId, Token* primaryToken) {
    std::lock_guard lock(S().lock);
    if (S().system == nullptr) {
        CreateSystemProcessLocked();
    }
    return NewProcessLocked(processId, sessionId, primaryToken);
}

Process* World::SystemProcess() {
    EnsureSystemProcess();
    return S().system;
}

Thread* World::CreateThread(Process* process, std::uint32_t threadId) {
    std::lock_guard lock(S().lock);
    return NewThreadLocked(process, threadId, false);
}

void World::Impersonate(Thread* thread, Token* token, kernel::ImpersonationLevel level) {
    std::lock_guard lock(S().lock);
    thread->impersonationToken = token;
    thread->level = level;
}

void World::RevertToSelf(Thread* thread) {
    std::lock_guard lock(S().lock);
    thread->impersonationToken = nullptr;
}

void World::ExitThread(Thread* thread) {
    std::lock_guard lock(S().lock);
    thread->exited = true;
    auto it = S().threadsById.find(thread->id);
    if (it != S().threadsById.end() && it->second == thread) {
        S().threadsById.erase(it);
    }
}

void World::SetCurrentThread(Thread* thread) { currentThread = thread; }

void World::FailSystemThreadCreation(kernel::NTSTATUS status) {
    std::lock_guard lock(S().lock);
    S().failSystemThreads = status;
}

void World::FailAuthenticationIdQuery(Token* token, kernel::NTSTATUS status) {
    token->authIdStatus = status;
}
void World::FailUserQuery(Token* token, kernel::NTSTATUS status) { token->userStatus = status; }
void World::EmptyUserSid(Token* token) { token->emptySid = true; }

std::int64_t World::ExtraReferences(Thread* thread) { return thread->references.load(); }
std::int64_t World::ExtraReferences(Token* token) { return token->references.load(); }

std::string World::DescribeLeakedReferences() {
    std::lock_guard lock(S().lock);
    std::string text;
    for (const auto& t : S().threads) {
        if (t->references.load() != 0) {
            text += "thread " + std::to_string(t->id) + ": " +
                    std::to_string(t->references.load()) + " references\n";
        }
    }
    for (const auto& p : S().processes) {
        if (p->references.load() != 0) {
            text += "process " + std::to_string(p->id) + ": " +
                    std::to_string(p->references.load()) + " references\n";
        }
    }
    for (const auto& k : S().tokens) {
        if (k->references.load() != 0) {
            text += "token " + kernel::SidToString(k->sid.data()) + ": " +
                    std::to_string(k->references.load()) + " references\n";
        }
    }
    return text;
}

}  // namespace sim

// The kernel's process, thread and token services, answered from the simulated world.
namespace kernel {

void ReferenceObject(Thread* thread) { ++thread->references; }
void DereferenceObject(Thread* thread) {
    if (--thread->references < 0) {
        BugCheck("thread dereferenced more often than referenced");
    }
}
void ReferenceObject(Process* process) { ++process->references; }
void DereferenceObject(Process* process) {
    if (--process->references < 0) {
        BugCheck("process dereferenced more often than referenced");
    }
}

Thread* CurrentThread() {
    if (sim::currentThread == nullptr) {
        // A host thread the test never bound: it acts as a thread of the system process.
        sim::EnsureSystemProcess();
        std::lock_guard lock(sim::S().lock);
        sim::currentThread = sim::NewThreadLocked(sim::S().system, 0, true);
    }
    return sim::currentThread;
}

NTSTATUS LookupThreadByThreadId(std::uint32_t threadId, Thread** thread) {
    std::lock_guard lock(sim::S().lock);
    auto it = sim::S().threadsById.find(threadId);
    if (it == sim::S().threadsById.end()) {
        return STATUS_INVALID_PARAMETER;
    }
    ++it->second->references;
    *thread = it->second;
    return STATUS_SUCCESS;
}

NTSTATUS LookupProcessByProcessId(std::uint32_t processId, Process** process) {
    std::lock_guard lock(sim::S().lock);
    for (auto& p : sim::S().processes) {
        if (p->id == processId) {
            ++p->references;
            *process = p.get();
            return STATUS_SUCCESS;
        }
    }
    return STATUS_INVALID_PARAMETER;
}

std::uint32_t ThreadId(Thread* thread) { return thread->id; }
bool IsSystemThread(Thread* thread) { return thread->system; }
Process* ThreadToProcess(Thread* thread) { return thread->process; }
std::uint32_t ProcessId(Process* process) { return process->id; }
std::uint32_t ProcessSessionId(Process* process) { return process->sessionId; }

NTSTATUS CreateSystemThread(SystemThreadRoutine routine, void* context, Thread** thread) {
    sim::EnsureSystemProcess();
    Thread* created;
    {
        std::lock_guard lock(sim::S().lock);
        if (sim::S().failSystemThreads != 0) {
            return sim::S().failSystemThreads;
        }
        created = sim::NewThreadLocked(sim::S().system, 0, true);
    }
    created->references = 1;  // the creator's
    created->host = std::thread([created, routine, context] {
        sim::currentThread = created;
        routine(context);
        {
            std::lock_guard lock(sim::S().lock);
            created->exited = true;
            sim::S().threadsById.erase(created->id);
        }
        std::lock_guard lock(created->endMutex);
        created->ended = true;
        created->endCv.notify_all();
    });
    *thread = created;
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
    if (thread->host.joinable()) {
        thread->host.join();
    }
}

Token* ReferenceImpersonationToken(Thread* thread, ImpersonationLevel* level) {
    std::lock_guard lock(sim::S().lock);
    Token* token = thread->impersonationToken;
    if (token == nullptr) {
        return nullptr;
    }
    ++token->references;
    if (level != nullptr) {
        *level = thread->level;
    }
    return token;
}

void DereferenceImpersonationToken(Token* token) {
    if (!token->impersonation) {
        BugCheck("a primary token released as an impersonation token");
    }
    if (--token->references < 0) {
        BugCheck("token dereferenced more often than referenced");
    }
}

Token* ReferencePrimaryToken(Process* process) {
    Token* token = process->primaryToken;
    if (token != nullptr) {
        ++token->references;
    }
    return token;
}

void DereferencePrimaryToken(Token* token) {
    if (token->impersonation) {
        BugCheck("an impersonation token released as a primary token");
    }
    if (--token->references < 0) {
        BugCheck("token dereferenced more often than referenced");
    }
}

NTSTATUS QueryAuthenticationIdToken(Token* token, Luid* authenticationId) {
    if (!NtSuccess(token->authIdStatus)) {
        return token->authIdStatus;
    }
    *authenticationId = token->logonId;
    return STATUS_SUCCESS;
}

NTSTATUS QueryTokenUser(Token* token, TokenUser** user) {
    if (!NtSuccess(token->userStatus)) {
        return token->userStatus;
    }
    std::vector<std::uint8_t> sid = token->sid;
    if (token->emptySid) {
        sid.assign(8, 0);  // a SID whose revision byte makes it invalid: measured as 0
        sid[0] = 0;
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
