// The process-side routines on the real machine: parent, exit status, and the image file name
// through a process handle.
#include <cstring>

#include "../../fltmgr/fltmgr_core.h"
#include "linux_objects.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/process_notify.h"
#include "text.h"

namespace kernel {

std::uint32_t ProcessInheritedFromUniqueProcessId(Process* process) {
    return process->parentId;
}

NTSTATUS ProcessExitStatus(Process* process) {
    return linux_kernel::ProcessExitStatusOf(process);
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
    // File names are bytes; the paths of this machine are taken as UTF-8.
    const std::u16string path =
        user::Utf8ToUtf16(linux_kernel::ProcessImage(processHandle->process));
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
