// Process notifications on the real machine: the registered basic and extended routines, called
// from the process connector's listener. Listening starts with the first registration and stops
// with the last removal, which returns only once no routine call is in progress.
#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "../kernel/linux_objects.h"
#include "../kernel/proc_readers.h"
#include "platform/kernel/process_notify.h"
#include "process_connector.h"
#include "text.h"

namespace linux_kernel {
namespace {

struct Registrations {
    std::mutex lock;  // guards the lists; never held across a routine call
    std::vector<kernel::CreateProcessNotifyRoutine> basic;
    std::vector<kernel::CreateProcessNotifyRoutineEx> extended;
    std::mutex connectorLock;  // serialises starting and stopping the listener
    std::unique_ptr<ProcessConnector> connector;
    // Processes seen being created, referenced until their exit is reported, so that what was
    // learned of them outlives their /proc entry.
    std::map<std::uint32_t, kernel::Process*> alive;
    int running = 0;  // routine calls in progress
    std::condition_variable idle;
};

Registrations& R() {
    static Registrations registrations;
    return registrations;
}

// Ends a routine call counted in running.
struct RunningCall {
    ~RunningCall() {
        std::lock_guard lock(R().lock);
        --R().running;
        R().idle.notify_all();
    }
};

kernel::Process* TakeAlive(std::uint32_t processId) {
    std::lock_guard lock(R().lock);
    auto it = R().alive.find(processId);
    if (it == R().alive.end()) {
        return nullptr;
    }
    kernel::Process* process = it->second;
    R().alive.erase(it);
    return process;
}

void KeepAlive(kernel::Process* process) {
    kernel::Process* replaced = nullptr;
    {
        std::lock_guard lock(R().lock);
        auto& slot = R().alive[kernel::ProcessId(process)];
        replaced = slot;
        slot = process;
    }
    if (replaced != nullptr && replaced != process) {
        kernel::DereferenceObject(replaced);
    } else if (replaced == process) {
        kernel::DereferenceObject(process);  // the map already held one
    }
}

void CallCreate(kernel::Process* process, std::uint32_t parentId, std::uint32_t creatingProcess,
                std::uint32_t creatingThread) {
    std::vector<kernel::CreateProcessNotifyRoutine> basic;
    std::vector<kernel::CreateProcessNotifyRoutineEx> extended;
    {
        std::lock_guard lock(R().lock);
        basic = R().basic;
        extended = R().extended;
        ++R().running;
    }
    const RunningCall running;
    const std::uint32_t processId = kernel::ProcessId(process);
    for (auto routine : basic) {
        routine(parentId, processId, true);
    }
    if (extended.empty()) {
        return;
    }
    const std::u16string image = user::Utf8ToUtf16(ProcessImage(process));
    const auto bytes = static_cast<std::uint16_t>(
        std::min<std::size_t>(image.size() * sizeof(char16_t), 0xFFFE));
    const kernel::UnicodeString imageName{bytes, bytes, const_cast<char16_t*>(image.data())};
    kernel::CreateProcessNotifyInfo info{};
    info.ParentProcessId = parentId;
    info.CreatingProcessId = creatingProcess;
    info.CreatingThreadId = creatingThread;
    info.FileObject = nullptr;
    info.ImageFileName = image.empty() ? nullptr : &imageName;
    info.CommandLine = nullptr;
    info.CreationStatus = kernel::STATUS_SUCCESS;
    for (auto routine : extended) {
        routine(process, processId, &info);
    }
}

void CallExit(kernel::Process* process) {
    std::vector<kernel::CreateProcessNotifyRoutine> basic;
    std::vector<kernel::CreateProcessNotifyRoutineEx> extended;
    {
        std::lock_guard lock(R().lock);
        basic = R().basic;
        extended = R().extended;
        ++R().running;
    }
    const RunningCall running;
    const std::uint32_t processId = kernel::ProcessId(process);
    const std::uint32_t parentId = kernel::ProcessInheritedFromUniqueProcessId(process);
    for (auto routine : basic) {
        routine(parentId, processId, false);
    }
    for (auto routine : extended) {
        routine(process, processId, nullptr);
    }
}

void OnEvent(const ProcessEvent& event) {
    switch (event.kind) {
        case ProcessEvent::Kind::Fork: {
            kernel::Process* parent = nullptr;
            kernel::Process known;
            known.parentId = event.parentId;
            if (kernel::NtSuccess(kernel::LookupProcessByProcessId(event.parentId, &parent))) {
                known.realUid = parent->realUid.load();
                known.sessionId = parent->sessionId.load();
                (void)kernel::QueryAuthenticationIdToken(&parent->primary, &known.primary.logonId);
                known.imagePath = ProcessImage(parent);  // a fork runs its parent's image
                kernel::DereferenceObject(parent);
            }
            kernel::Process* process = InternProcess(event.processId, &known);
            CallCreate(process, kernel::ProcessInheritedFromUniqueProcessId(process),
                       event.parentId, event.actingThreadId);
            KeepAlive(process);
            return;
        }
        case ProcessEvent::Kind::Exec: {
            kernel::Process* process = TakeAlive(event.processId);
            if (process == nullptr) {
                process = InternProcess(event.processId);
            }
            const std::string image = ReadImagePath(event.processId);
            if (!image.empty()) {
                SetProcessImage(process, image);
            }
            CallCreate(process, kernel::ProcessInheritedFromUniqueProcessId(process),
                       event.processId, event.actingThreadId);
            KeepAlive(process);
            return;
        }
        case ProcessEvent::Kind::Exit: {
            kernel::Process* process = TakeAlive(event.processId);
            if (process == nullptr) {
                process = InternProcess(event.processId);
            }
            SetProcessExitStatus(process,
                                 static_cast<kernel::NTSTATUS>(ExitCodeOfWaitStatus(event.exitCode)));
            CallExit(process);
            kernel::DereferenceObject(process);
            ForgetRecentThread(event.actingThreadId);
            return;
        }
        case ProcessEvent::Kind::ThreadExit:
            ForgetRecentThread(event.actingThreadId);
            return;
        case ProcessEvent::Kind::Identity:
            RefreshProcess(event.processId);
            return;
        case ProcessEvent::Kind::Overrun:
            ForgetRecentThreads();
            RefreshAllProcesses();
            return;
    }
}

// Starts listening for the first routine and stops after the last; called with connectorLock.
kernel::NTSTATUS UpdateListener() {
    bool any;
    {
        std::lock_guard lock(R().lock);
        any = !R().basic.empty() || !R().extended.empty();
    }
    if (any && R().connector == nullptr) {
        const kernel::NTSTATUS status = ProcessConnector::Start(&OnEvent, &R().connector);
        // Requesting threads may be kept between requests only while their ends are heard of.
        KeepRecentThreads(kernel::NtSuccess(status));
        return status;
    }
    if (!any && R().connector != nullptr) {
        KeepRecentThreads(false);
        R().connector.reset();  // waits for the call in progress
        std::map<std::uint32_t, kernel::Process*> alive;
        {
            std::lock_guard lock(R().lock);
            alive.swap(R().alive);
        }
        for (auto& entry : alive) {
            kernel::DereferenceObject(entry.second);
        }
    }
    return kernel::STATUS_SUCCESS;
}

template <typename Routine>
kernel::NTSTATUS SetRoutine(std::vector<Routine>& routines, Routine routine, bool remove) {
    std::lock_guard connectorGuard(R().connectorLock);
    {
        std::lock_guard lock(R().lock);
        auto it = std::find(routines.begin(), routines.end(), routine);
        if (remove) {
            if (it == routines.end()) {
                return kernel::STATUS_INVALID_PARAMETER;
            }
            routines.erase(it);
        } else {
            if (it != routines.end()) {
                return kernel::STATUS_INVALID_PARAMETER;
            }
            routines.push_back(routine);
        }
    }
    const kernel::NTSTATUS status = UpdateListener();
    if (!kernel::NtSuccess(status) && !remove) {
        std::lock_guard lock(R().lock);
        routines.erase(std::find(routines.begin(), routines.end(), routine));
        return status;
    }
    if (remove) {
        // A call that took the routine before it left the list ends before removal returns.
        std::unique_lock lock(R().lock);
        R().idle.wait(lock, [] { return R().running == 0; });
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS SetCreateProcessNotifyRoutineEx(kernel::CreateProcessNotifyRoutineEx routine,
                                                 bool remove) {
    return SetRoutine(R().extended, routine, remove);
}

}  // namespace
}  // namespace linux_kernel

namespace flt::core {

void* ProcessRoutineAddress(const char* name) {
    if (std::strcmp(name, "PsSetCreateProcessNotifyRoutineEx") == 0) {
        return reinterpret_cast<void*>(&linux_kernel::SetCreateProcessNotifyRoutineEx);
    }
    // "PsReferenceProcessFilePointer": images are named by their path here.
    return nullptr;
}

}  // namespace flt::core

namespace kernel {

NTSTATUS SetCreateProcessNotifyRoutine(CreateProcessNotifyRoutine routine, bool remove) {
    return linux_kernel::SetRoutine(linux_kernel::R().basic, routine, remove);
}

}  // namespace kernel
