// Process notifications and the process-side routines a filter uses to describe a process: its
// parent, its exit status and its image.
//
// Two notification forms exist. The basic one is always offered; the extended one is offered only
// by systems that export "PsSetCreateProcessNotifyRoutineEx" (look it up with
// GetSystemRoutineAddress). A routine is removed with the same registration function that added
// it; removal waits until no call of the routine is running.
#pragma once

#include <cstdint>

#include "platform/kernel/handle.h"
#include "platform/kernel/process.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace flt {
class FileObject;
}

namespace kernel {

// Basic form: called in the context of the thread that creates (create true) or ends the process.
using CreateProcessNotifyRoutine = void (*)(std::uint32_t parentId, std::uint32_t processId,
                                            bool create);
// STATUS_INVALID_PARAMETER: adding a routine that is already there, or removing one that is not.
NTSTATUS SetCreateProcessNotifyRoutine(CreateProcessNotifyRoutine routine, bool remove);

// What the extended form tells about a process being created.
struct CreateProcessNotifyInfo {
    std::uint32_t ParentProcessId;
    std::uint32_t CreatingProcessId;
    std::uint32_t CreatingThreadId;
    flt::FileObject* FileObject;         // the image file, or nullptr
    const UnicodeString* ImageFileName;  // or nullptr
    const UnicodeString* CommandLine;    // or nullptr
    NTSTATUS CreationStatus;
};

// Extended form: info is nullptr when the process exits.
using CreateProcessNotifyRoutineEx = void (*)(Process* process, std::uint32_t processId,
                                              CreateProcessNotifyInfo* info);
// The type of "PsSetCreateProcessNotifyRoutineEx".
using SetCreateProcessNotifyRoutineExRoutine = NTSTATUS (*)(CreateProcessNotifyRoutineEx routine,
                                                            bool remove);

// Referenced process for a process id; STATUS_INVALID_PARAMETER when no such process lives.
NTSTATUS LookupProcessByProcessId(std::uint32_t processId, Process** process);
std::uint32_t ProcessInheritedFromUniqueProcessId(Process* process);
NTSTATUS ProcessExitStatus(Process* process);

// The type of "PsReferenceProcessFilePointer": the process's image file object, referenced
// (release with flt::ObjectDereference).
using ReferenceProcessFilePointerRoutine = NTSTATUS (*)(Process* process,
                                                        flt::FileObject** fileObject);

constexpr std::uint32_t kProcessQueryInformation = 0x0400;

// A kernel handle to the process (close with CloseHandle).
NTSTATUS OpenProcessObject(Process* process, std::uint32_t desiredAccess, Handle** handle);

// The process's image file name in kernel form: buffer receives a UnicodeString whose Buffer
// points just behind it, then the text. When length is too small: STATUS_BUFFER_OVERFLOW (or
// STATUS_BUFFER_TOO_SMALL when not even the UnicodeString fits), with *returnLength the size
// needed.
NTSTATUS QueryProcessImageFileName(Handle* processHandle, void* buffer, std::uint32_t length,
                                   std::uint32_t* returnLength);

}  // namespace kernel
