// Files opened from kernel mode and the handle table.
#include "platform/fltmgr/files.h"
#include "fltmgr_core.h"
#include "platform/kernel/irql.h"

namespace flt {

using namespace flt::core;

NTSTATUS CreateFile(Filter*, const kernel::UnicodeString& name,
                    const CreateFileParameters& parameters, kernel::Handle** handle,
                    std::uint32_t* information) {
    *handle = nullptr;
    *information = 0;
    if (kernel::CurrentIrql() != kernel::PASSIVE_LEVEL) {
        kernel::BugCheck("CreateFile above PASSIVE_LEVEL");
    }
    const std::u16string text(name.Buffer, name.Length / sizeof(char16_t));
    Volume* volume = nullptr;
    NTSTATUS openStatus = kernel::STATUS_SUCCESS;
    {
        std::lock_guard lock(S().lock);
        std::size_t best = 0;
        for (auto& v : S().volumes) {
            const std::u16string& device = v->spec.deviceName;
            if (v->mounted && !v->hostFileSystem && device.size() > best &&
                StartsWithIgnoringCase(text, device) &&
                (text.size() == device.size() || text[device.size()] == u'\\' ||
                 text[device.size()] == u'/')) {
                volume = v.get();
                best = device.size();
            }
        }
        if (volume == nullptr && !text.empty() && text[0] == u'/') {
            for (auto& v : S().volumes) {
                if (v->mounted && v->hostFileSystem) {
                    volume = v.get();
                }
            }
        }
        auto failure = S().failOpen.find(Upper(text));
        if (failure != S().failOpen.end()) {
            openStatus = failure->second;
        }
    }
    if (volume == nullptr) {
        return kernel::STATUS_OBJECT_PATH_NOT_FOUND;
    }
    FileObject* fileObject = OpenFileObject(volume, text);
    {
        std::lock_guard lock(S().lock);
        fileObject->handles = 1;
        fileObject->operationsOnClose = true;
    }
    Operation create(MajorFunction::Create, fileObject);
    create.iopb.parameters.create.options =
        (parameters.disposition << 24) | (parameters.createOptions & 0x00FFFFFF);
    create.iopb.parameters.create.fileAttributes =
        static_cast<std::uint16_t>(parameters.fileAttributes);
    create.iopb.parameters.create.shareAccess = static_cast<std::uint16_t>(parameters.shareAccess);
    create.iopb.parameters.create.desiredAccess = parameters.desiredAccess;
    create.finalStatus = openStatus;
    create.information = kernel::NtSuccess(openStatus) ? 1 : 0;  // opened
    RunOperation(create);
    if (!kernel::NtSuccess(openStatus)) {
        // A failed open leaves no file object behind, and its filters see no cleanup or close.
        {
            std::lock_guard lock(S().lock);
            fileObject->handles = 0;
            fileObject->operationsOnClose = false;
        }
        DropFileObjectReference(fileObject);
        return openStatus;
    }
    std::lock_guard lock(S().lock);
    S().handles.push_back(std::make_unique<kernel::Handle>(kernel::Handle::Kind::File));
    S().handles.back()->fileObject = fileObject;
    *handle = S().handles.back().get();
    *information = 1;
    return kernel::STATUS_SUCCESS;
}

}  // namespace flt

namespace kernel {

using namespace flt::core;

NTSTATUS CloseHandle(Handle* handle) {
    if (CurrentIrql() != PASSIVE_LEVEL) {
        BugCheck("CloseHandle above PASSIVE_LEVEL");
    }
    bool lastHandle = false;
    {
        std::lock_guard lock(S().lock);
        if (handle == nullptr || !handle->open) {
            return STATUS_INVALID_HANDLE;
        }
        handle->open = false;
        if (handle->kind == Handle::Kind::File) {
            lastHandle = --handle->fileObject->handles == 0;
        }
    }
    flt::FileObject* fileObject = handle->fileObject;
    Process* process = handle->process;
    const bool processHandle = handle->kind == Handle::Kind::Process;
    {
        std::lock_guard lock(S().lock);
        if (S().reclaimHandles) {
            for (auto it = S().handles.begin(); it != S().handles.end(); ++it) {
                if (it->get() == handle) {
                    S().handles.erase(it);
                    break;
                }
            }
        }
    }
    if (processHandle) {
        DereferenceObject(process);
        return STATUS_SUCCESS;
    }
    if (lastHandle && fileObject->operationsOnClose) {
        Operation cleanup(flt::MajorFunction::Cleanup, fileObject);
        RunOperation(cleanup);
    }
    DropFileObjectReference(fileObject);
    return STATUS_SUCCESS;
}

}  // namespace kernel

