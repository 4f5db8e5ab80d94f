// Process notifications and the process-side routines: registrations of both forms, and what the
// simulated processes answer about their parent, exit status and image.
#include <cstring>
#include <map>

#include "fltmgr_core.h"
#include "sim_fltmgr.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/process_notify.h"

namespace flt::core {
namespace {

struct ProcessFacts {
    std::uint32_t parentId = 0;
    kernel::NTSTATUS exitStatus = 0;
    std::u16string imagePath;
    flt::FileObject* imageFile = nullptr;
};

// Guards everything here; never held across a call of a notification routine.
struct ProcessState {
    std::mutex lock;
    std::condition_variable idle;
    std::vector<kernel::CreateProcessNotifyRoutine> basic;
    std::vector<kernel::CreateProcessNotifyRoutineEx> extended;
    int running = 0;  // routine calls in progress
    kernel::NTSTATUS failRegistration = 0;
    std::map<kernel::Process*, ProcessFacts> facts;
};

ProcessState& P() {
    static ProcessState state;
    return state;
}

template <typename Routine>
kernel::NTSTATUS SetRoutine(std::vector<Routine>& routines, Routine routine, bool remove) {
    std::unique_lock lock(P().lock);
    auto it = std::find(routines.begin(), routines.end(), routine);
    if (remove) {
        if (it == routines.end()) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        routines.erase(it);
        // Removal returns only once no call of the routine can still be running.
        P().idle.wait(lock, [] { return P().running == 0; });
        return kernel::STATUS_SUCCESS;
    }
    if (P().failRegistration != 0) {
        return P().failRegistration;
    }
    if (it != routines.end()) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    routines.push_back(routine);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS SetCreateProcessNotifyRoutineEx(kernel::CreateProcessNotifyRoutineEx routine,
                                                 bool remove) {
    return SetRoutine(P().extended, routine, remove);
}

kernel::NTSTATUS ReferenceProcessFilePointer(kernel::Process* process,
                                             flt::FileObject** fileObject) {
    *fileObject = nullptr;
    flt::FileObject* image;
    {
        std::lock_guard lock(P().lock);
        auto it = P().facts.find(process);
        image = it == P().facts.end() ? nullptr : it->second.imageFile;
    }
    if (image == nullptr) {
        return kernel::STATUS_UNSUCCESSFUL;
    }
    flt::ObjectReference(image);
    *fileObject = image;
    return kernel::STATUS_SUCCESS;
}

// Calls fn for a snapshot of the routines, counted as running.
template <typename Routine, typename Fn>
void CallEach(const std::vector<Routine>& routines, Fn fn) {
    std::vector<Routine> snapshot;
    {
        std::lock_guard lock(P().lock);
        snapshot = routines;
        P().running += 1;
    }
    for (Routine routine : snapshot) {
        fn(routine);
    }
    std::lock_guard lock(P().lock);
    P().running -= 1;
    P().idle.notify_all();
}

}  // namespace

void* ProcessRoutineAddress(const char* name) {
    if (std::strcmp(name, "PsSetCreateProcessNotifyRoutineEx") == 0) {
        return reinterpret_cast<void*>(&SetCreateProcessNotifyRoutineEx);
    }
    if (std::strcmp(name, "PsReferenceProcessFilePointer") == 0) {
        return reinterpret_cast<void*>(&ReferenceProcessFilePointer);
    }
    return nullptr;
}

}  // namespace flt::core

namespace kernel {

using flt::core::P;

NTSTATUS SetCreateProcessNotifyRoutine(CreateProcessNotifyRoutine routine, bool remove) {
    return flt::core::SetRoutine(P().basic, routine, remove);
}

std::uint32_t ProcessInheritedFromUniqueProcessId(Process* process) {
    std::lock_guard lock(P().lock);
    auto it = P().facts.find(process);
    return it == P().facts.end() ? 0 : it->second.parentId;
}

NTSTATUS ProcessExitStatus(Process* process) {
    std::lock_guard lock(P().lock);
    auto it = P().facts.find(process);
    return it == P().facts.end() ? STATUS_SUCCESS : it->second.exitStatus;
}

NTSTATUS OpenProcessObject(Process* process, std::uint32_t, Handle** handle) {
    *handle = nullptr;
    if (process == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ReferenceObject(process);  // the handle's
    std::lock_guard lock(flt::core::S().lock);
    flt::core::S().handles.push_back(std::make_unique<Handle>(Handle::Kind::Process));
    flt::core::S().handles.back()->process = process;
    *handle = flt::core::S().handles.back().get();
    return STATUS_SUCCESS;
}

NTSTATUS QueryProcessImageFileName(Handle* processHandle, void* buffer, std::uint32_t length,
                                   std::uint32_t* returnLength) {
    *returnLength = 0;
    if (CurrentIrql() != PASSIVE_LEVEL) {
        BugCheck("process query above PASSIVE_LEVEL");
    }
    {
        std::lock_guard lock(flt::core::S().lock);
        if (processHandle == nullptr || !processHandle->open ||
            processHandle->kind != Handle::Kind::Process) {
            return STATUS_INVALID_HANDLE;
        }
    }
    std::u16string path;
    {
        std::lock_guard lock(P().lock);
        auto it = P().facts.find(processHandle->process);
        if (it != P().facts.end()) {
            path = it->second.imagePath;
        }
    }
    const auto bytes = static_cast<std::uint32_t>(path.size() * sizeof(char16_t));
    const std::uint32_t needed = sizeof(UnicodeString) + bytes + sizeof(char16_t);
    *returnLength = needed;
    if (length < sizeof(UnicodeString)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    if (length < needed) {
        return STATUS_BUFFER_OVERFLOW;
    }
    auto* out = static_cast<UnicodeString*>(buffer);
    auto* text = reinterpret_cast<char16_t*>(out + 1);
    std::memcpy(text, path.data(), bytes);
    text[path.size()] = u'\0';
    *out = {static_cast<std::uint16_t>(bytes), static_cast<std::uint16_t>(bytes + 2), text};
    return STATUS_SUCCESS;
}

}  // namespace kernel

namespace sim {

using flt::core::P;

void ProcessNotifications::SetParent(kernel::Process* process, std::uint32_t parentId) {
    std::lock_guard lock(P().lock);
    P().facts[process].parentId = parentId;
}

void ProcessNotifications::SetExitStatus(kernel::Process* process, kernel::NTSTATUS status) {
    std::lock_guard lock(P().lock);
    P().facts[process].exitStatus = status;
}

void ProcessNotifications::SetImagePath(kernel::Process* process, const std::u16string& path) {
    std::lock_guard lock(P().lock);
    P().facts[process].imagePath = path;
}

void ProcessNotifications::SetImageFile(kernel::Process* process, flt::FileObject* fileObject) {
    std::lock_guard lock(P().lock);
    P().facts[process].imageFile = fileObject;
}

void ProcessNotifications::FailRegistration(kernel::NTSTATUS status) {
    std::lock_guard lock(P().lock);
    P().failRegistration = status;
}

void ProcessNotifications::NotifyCreate(const Creation& creation) {
    const std::uint32_t processId = kernel::ProcessId(creation.process);
    flt::core::CallEach(P().basic, [&](kernel::CreateProcessNotifyRoutine routine) {
        routine(creation.parentId, processId, true);
    });
    kernel::UnicodeString imageName{0, 0, nullptr};
    if (creation.imageFileName != nullptr) {
        const auto bytes =
            static_cast<std::uint16_t>(creation.imageFileName->size() * sizeof(char16_t));
        imageName = {bytes, bytes, const_cast<char16_t*>(creation.imageFileName->data())};
    }
    kernel::Thread* creator = creation.creatingThread;
    kernel::CreateProcessNotifyInfo info{};
    info.ParentProcessId = creation.parentId;
    info.CreatingProcessId =
        creator != nullptr ? kernel::ProcessId(kernel::ThreadToProcess(creator)) : 0;
    info.CreatingThreadId = creator != nullptr ? kernel::ThreadId(creator) : 0;
    info.FileObject = creation.imageFile;
    info.ImageFileName = creation.imageFileName != nullptr ? &imageName : nullptr;
    info.CommandLine = nullptr;
    info.CreationStatus = creation.creationStatus;
    flt::core::CallEach(P().extended, [&](kernel::CreateProcessNotifyRoutineEx routine) {
        routine(creation.process, processId, &info);
    });
}

void ProcessNotifications::NotifyExit(kernel::Process* process) {
    const std::uint32_t processId = kernel::ProcessId(process);
    const std::uint32_t parentId = kernel::ProcessInheritedFromUniqueProcessId(process);
    flt::core::CallEach(P().basic, [&](kernel::CreateProcessNotifyRoutine routine) {
        routine(parentId, processId, false);
    });
    flt::core::CallEach(P().extended, [&](kernel::CreateProcessNotifyRoutineEx routine) {
        routine(process, processId, nullptr);
    });
}

int ProcessNotifications::BasicRoutines() {
    std::lock_guard lock(P().lock);
    return static_cast<int>(P().basic.size());
}

int ProcessNotifications::ExtendedRoutines() {
    std::lock_guard lock(P().lock);
    return static_cast<int>(P().extended.size());
}

void ProcessNotifications::Reset() {
    std::lock_guard lock(P().lock);
    P().basic.clear();
    P().extended.clear();
    P().facts.clear();
    P().failRegistration = 0;
}

std::string ProcessNotifications::DescribeLeaks() {
    std::lock_guard lock(P().lock);
    std::string text;
    if (!P().basic.empty()) {
        text += "basic process notification routine still registered\n";
    }
    if (!P().extended.empty()) {
        text += "extended process notification routine still registered\n";
    }
    return text;
}

}  // namespace sim
