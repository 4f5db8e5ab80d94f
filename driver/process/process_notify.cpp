#include "process_notify.h"

#include <cstring>

#include "capture/capture_environment.h"
#include "capture/name_release.h"
#include "image_name.h"
#include "message/notification_builder.h"
#include "names/counted_string.h"
#include "platform/kernel/process_notify.h"
#include "platform/kernel/system_routines.h"
#include "rules/rule_table.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

namespace {

// Which routine is registered. Written by load and unload only, which run alone.
struct Registration {
    SetCreateProcessNotifyRoutineExRoutine setExtended = nullptr;  // the extended form's
    bool basic = false;
};
Registration registration;

void EmitProcessRecord(Thread* actingThread, std::uint32_t operation, NTSTATUS status,
                       std::uint32_t processId, std::uint32_t parentId,
                       const FileNameInformation* name) {
    DriverState& driver = *Environment().driver;
    const UnicodeString* text = name != nullptr ? &name->Name : nullptr;
    if (!Environment().rules->Check(ProcessId(ThreadToProcess(actingThread)), text,
                                    wire::VeskCategoryProcess, operation)) {
        return;
    }
    if ((driver.connection.Categories() & wire::VeskWantProcess) == 0) {
        return;
    }
    MessageParameters p;
    p.actingThread = actingThread;
    p.name = text;
    p.volumePrefixLength =
        name != nullptr ? static_cast<std::uint16_t>(name->Volume.Length / sizeof(char16_t)) : 0;
    p.category = wire::VeskCategoryProcess;
    p.operation = operation;
    p.status = static_cast<std::uint32_t>(status);
    p.payloadLength = sizeof(wire::ProcessPayload);
    BuiltMessage built;
    if (!NtSuccess(BuildMessage(p, &built))) {
        return;
    }
    const wire::ProcessPayload payload{processId, parentId};
    std::memcpy(built.payload, &payload, sizeof payload);
    (void)driver.queue.EnqueueMessage(built.message, built.totalLength);
}

// The name of an image given by path; nullptr when it cannot be had.
FileNameInformation* NameFromPath(const UnicodeString* path) {
    FileNameInformation* name = nullptr;
    if (path != nullptr && path->Length != 0 && !NtSuccess(ImageNameFromPath(*path, &name))) {
        name = nullptr;
    }
    return name;
}

FileNameInformation* NameOfProcessImage(Process* process) {
    UnicodeString* path = nullptr;
    if (!NtSuccess(ImagePathOfProcess(process, &path))) {
        return nullptr;
    }
    FileNameInformation* name = NameFromPath(path);
    FreeCountedString(path);
    return name;
}

void BasicRoutine(std::uint32_t parentId, std::uint32_t processId, bool create) {
    if (!CaptureGateOpen(*Environment().driver)) {
        return;
    }
    FileNameInformation* name = nullptr;
    Process* process = nullptr;
    if (NtSuccess(LookupProcessByProcessId(processId, &process))) {
        name = NameOfProcessImage(process);
        DereferenceObject(process);
    }
    EmitProcessRecord(CurrentThread(), create ? wire::VeskOpProcessCreate : wire::VeskOpProcessExit,
                      STATUS_SUCCESS, processId, parentId, name);
    ReleaseName(name);
}

void ExtendedRoutine(Process* process, std::uint32_t processId, CreateProcessNotifyInfo* info) {
    if (!CaptureGateOpen(*Environment().driver)) {
        return;
    }
    const std::uint32_t operation =
        info != nullptr ? wire::VeskOpProcessCreate : wire::VeskOpProcessExit;
    const std::uint32_t parentId = ProcessInheritedFromUniqueProcessId(process);
    Thread* creator = nullptr;
    if (info != nullptr && !NtSuccess(LookupThreadByThreadId(info->CreatingThreadId, &creator))) {
        creator = nullptr;
    }

    FileNameInformation* name = nullptr;
    if (info != nullptr && info->FileObject != nullptr) {
        if (!NtSuccess(ImageNameFromFileObject(info->FileObject, &name))) {
            name = nullptr;
        }
    } else if (auto reference = reinterpret_cast<ReferenceProcessFilePointerRoutine>(
                   GetSystemRoutineAddress("PsReferenceProcessFilePointer"))) {
        flt::FileObject* image = nullptr;
        if (NtSuccess(reference(process, &image))) {
            if (!NtSuccess(ImageNameFromFileObject(image, &name))) {
                name = nullptr;
            }
            flt::ObjectDereference(image);
        }
    } else if (info != nullptr) {
        name = NameFromPath(info->ImageFileName);
    } else {
        name = NameOfProcessImage(process);
    }

    const NTSTATUS status = info != nullptr ? info->CreationStatus : ProcessExitStatus(process);
    EmitProcessRecord(creator != nullptr ? creator : CurrentThread(), operation, status, processId,
                      parentId, name);
    if (creator != nullptr) {
        DereferenceObject(creator);
    }
    ReleaseName(name);
}

}  // namespace

NTSTATUS RegisterProcessNotifications() {
    auto setExtended = reinterpret_cast<SetCreateProcessNotifyRoutineExRoutine>(
        GetSystemRoutineAddress("PsSetCreateProcessNotifyRoutineEx"));
    if (setExtended != nullptr) {
        const NTSTATUS status = setExtended(&ExtendedRoutine, false);
        if (NtSuccess(status)) {
            registration.setExtended = setExtended;
        }
        return status;
    }
    const NTSTATUS status = SetCreateProcessNotifyRoutine(&BasicRoutine, false);
    registration.basic = NtSuccess(status);
    return status;
}

void UnregisterProcessNotifications() {
    if (registration.setExtended != nullptr) {
        (void)registration.setExtended(&ExtendedRoutine, true);
        registration.setExtended = nullptr;
    }
    if (registration.basic) {
        (void)SetCreateProcessNotifyRoutine(&BasicRoutine, true);
        registration.basic = false;
    }
}

}  // namespace vesk::driver
