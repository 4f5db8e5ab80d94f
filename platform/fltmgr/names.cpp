// File-name information and volume names.
#include <cstring>

#include "fltmgr_core.h"
#include "platform/fltmgr/names.h"
#include "platform/kernel/irql.h"

namespace flt::core {
namespace {

void LogOptions(std::uint32_t options) {
    std::lock_guard lock(S().lock);
    S().nameQueryOptions.push_back(options);
}

// A record for the file object's name, with its volume part when the name starts with the
// volume's device name.
kernel::NTSTATUS NameRecord(flt::FileObject* fileObject, std::uint32_t options,
                            kernel::FileNameInformation** name) {
    *name = nullptr;
    std::u16string text;
    {
        std::lock_guard lock(S().lock);
        if (S().failNames != 0) {
            return S().failNames;
        }
        if (fileObject->nameFailure != 0) {
            return fileObject->nameFailure;
        }
        text = (options & flt::kNameOpened) != 0 && !fileObject->openedName.empty()
                   ? fileObject->openedName
                   : fileObject->stream->name;
    }
    const std::u16string& device = fileObject->volume->spec.deviceName;
    const auto volumeChars =
        static_cast<std::uint16_t>(StartsWithIgnoringCase(text, device) ? device.size() : 0);
    *name = kernel::CreateFileNameInformation(text.data(), static_cast<std::uint16_t>(text.size()),
                                              volumeChars);
    return *name != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

std::u16string ParentOf(const std::u16string& name) {
    const std::size_t at = name.rfind(u'\\');
    return at == std::u16string::npos ? std::u16string() : name.substr(0, at);
}

}  // namespace

std::u16string DestinationName(flt::FileObject* fileObject, kernel::Handle* rootDirectory,
                               const char16_t* fileName, std::uint32_t fileNameLength) {
    if (fileName == nullptr || fileNameLength < sizeof(char16_t) || fileNameLength % 2 != 0) {
        return {};
    }
    const std::u16string given(fileName, fileNameLength / sizeof(char16_t));
    std::lock_guard lock(S().lock);
    if (rootDirectory != nullptr) {
        if (!rootDirectory->open || rootDirectory->kind != kernel::Handle::Kind::File) {
            return {};
        }
        return rootDirectory->fileObject->stream->name + u'\\' + given;
    }
    if (IsFullName(given)) {
        return given;  // a full name
    }
    return ParentOf(fileObject->stream->name) + u'\\' + given;
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

NTSTATUS GetFileNameInformation(CallbackData* data, std::uint32_t options,
                                kernel::FileNameInformation** name) {
    *name = nullptr;
    if (kernel::CurrentIrql() > kernel::APC_LEVEL) {
        kernel::BugCheck("file-name query above APC_LEVEL");
    }
    LogOptions(options);
    if (data->iopb->targetFileObject == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    return NameRecord(data->iopb->targetFileObject, options, name);
}

NTSTATUS GetDestinationFileNameInformation(Instance*, FileObject* fileObject,
                                           kernel::Handle* rootDirectory, const char16_t* fileName,
                                           std::uint32_t fileNameLength, std::uint32_t options,
                                           kernel::FileNameInformation** name) {
    *name = nullptr;
    if (kernel::CurrentIrql() > kernel::APC_LEVEL) {
        kernel::BugCheck("file-name query above APC_LEVEL");
    }
    LogOptions(options);
    {
        std::lock_guard lock(S().lock);
        if (S().failDestinationNames != 0) {
            return S().failDestinationNames;
        }
    }
    if (fileObject == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    const std::u16string target =
        DestinationName(fileObject, rootDirectory, fileName, fileNameLength);
    if (target.empty() || target.size() > 0x7FFE) {
        return kernel::STATUS_OBJECT_NAME_INVALID;
    }
    const std::u16string& device = fileObject->volume->spec.deviceName;
    const auto volumeChars =
        static_cast<std::uint16_t>(StartsWithIgnoringCase(target, device) ? device.size() : 0);
    *name = kernel::CreateFileNameInformation(
        target.data(), static_cast<std::uint16_t>(target.size()), volumeChars);
    return *name != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS GetFileNameInformationUnsafe(FileObject* fileObject, Instance*, std::uint32_t options,
                                      kernel::FileNameInformation** name) {
    *name = nullptr;
    LogOptions(options);
    if (fileObject == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    return NameRecord(fileObject, options, name);
}

NTSTATUS GetVolumeName(Volume* volume, kernel::UnicodeString* name) {
    if (volume->nameFailure != 0) {
        return volume->nameFailure;
    }
    const std::u16string& device = volume->spec.deviceName;
    const auto bytes = static_cast<std::uint16_t>(device.size() * sizeof(char16_t));
    if (name->Buffer == nullptr || name->MaximumLength < bytes) {
        name->Length = bytes;
        return kernel::STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(name->Buffer, device.data(), bytes);
    name->Length = bytes;
    return kernel::STATUS_SUCCESS;
}

}  // namespace flt

