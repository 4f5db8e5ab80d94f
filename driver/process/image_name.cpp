#include "image_name.h"

#include <cstring>

#include "capture/capture_environment.h"
#include "core/pool_tags.h"
#include "names/counted_string.h"
#include "platform/fltmgr/files.h"
#include "platform/fltmgr/names.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/process_notify.h"

namespace vesk::driver {

using namespace kernel;

namespace {

constexpr std::uint32_t kImageNameBufferSize = 1024;

// Copies a queried image name (a UnicodeString followed by its text) into a counted string.
NTSTATUS CopyImageName(const void* queried, std::uint32_t length, UnicodeString** path) {
    if (length < sizeof(UnicodeString)) {
        return STATUS_INVALID_PARAMETER;
    }
    UnicodeString name;
    std::memcpy(&name, queried, sizeof name);
    // The text must lie inside what was queried.
    const auto* begin = static_cast<const std::uint8_t*>(queried);
    const auto* text = reinterpret_cast<const std::uint8_t*>(name.Buffer);
    if (name.Length != 0 && (text < begin + sizeof name || text > begin + length ||
                             static_cast<std::size_t>(begin + length - text) < name.Length)) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status = AllocateCountedString(name.Length, PoolType::Paged, path);
    if (!NtSuccess(status)) {
        return status;
    }
    if (name.Length != 0) {
        std::memcpy((*path)->Buffer, name.Buffer, name.Length);
    }
    (*path)->Length = name.Length;
    (*path)->Buffer[name.Length / sizeof(char16_t)] = u'\0';
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ImageNameFromFileObject(flt::FileObject* fileObject, FileNameInformation** name) {
    *name = nullptr;
    flt::Filter* filter = Environment().filter;
    flt::Volume* volume = nullptr;
    NTSTATUS status = flt::GetVolumeFromFileObject(filter, fileObject, &volume);
    if (!NtSuccess(status)) {
        return status;
    }
    flt::Instance* instance = nullptr;
    status = flt::GetFirstInstance(filter, volume, &instance);
    if (NtSuccess(status)) {
        status = flt::GetFileNameInformationUnsafe(
            fileObject, instance, flt::kNameNormalized | flt::kNameQueryDefault, name);
        flt::ObjectDereference(instance);
    }
    flt::ObjectDereference(volume);
    return status;
}

NTSTATUS ImageNameFromPath(const UnicodeString& path, FileNameInformation** name) {
    *name = nullptr;
    const flt::CreateFileParameters open{
        flt::kGenericReadAccess, 0, flt::kFileShareRead, flt::kFileOpen,
        flt::kFileNonDirectoryFile | flt::kFileSynchronousIoNonAlert};
    Handle* handle = nullptr;
    std::uint32_t information = 0;
    NTSTATUS status = flt::CreateFile(Environment().filter, path, open, &handle, &information);
    if (!NtSuccess(status)) {
        return status;
    }
    flt::FileObject* fileObject = nullptr;
    status = flt::ReferenceFileObjectByHandle(handle, &fileObject);
    if (NtSuccess(status)) {
        status = ImageNameFromFileObject(fileObject, name);
    }
    CloseHandle(handle);
    if (fileObject != nullptr) {
        flt::ObjectDereference(fileObject);
    }
    return status;
}

NTSTATUS ImagePathOfProcess(Process* process, UnicodeString** path) {
    *path = nullptr;
    Handle* handle = nullptr;
    NTSTATUS status = OpenProcessObject(process, kProcessQueryInformation, &handle);
    if (!NtSuccess(status)) {
        return status;
    }
    alignas(8) std::uint8_t buffer[kImageNameBufferSize];
    std::uint32_t needed = 0;
    status = QueryProcessImageFileName(handle, buffer, sizeof buffer, &needed);
    if (NtSuccess(status)) {
        status = CopyImageName(buffer, sizeof buffer, path);
    } else if ((status == STATUS_BUFFER_OVERFLOW || status == STATUS_BUFFER_TOO_SMALL) &&
               needed > sizeof buffer) {
        void* large = AllocatePool(PoolType::NonPaged, needed, kTagImageName);
        if (large == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            status = QueryProcessImageFileName(handle, large, needed, &needed);
            if (NtSuccess(status)) {
                status = CopyImageName(large, needed, path);
            }
            FreePool(large, kTagImageName);
        }
    }
    CloseHandle(handle);
    return status;
}

}  // namespace vesk::driver
