// Names of files and volumes, as the filter manager answers them. File-name records are
// reference counted (platform/kernel/file_name_information.h).
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"
#include "platform/kernel/file_name_information.h"

namespace flt {

// Name query options: the form of the name, and how it may be found.
constexpr std::uint32_t kNameNormalized = 0x01;
constexpr std::uint32_t kNameOpened = 0x02;
constexpr std::uint32_t kNameQueryDefault = 0x0100;
constexpr std::uint32_t kNameQueryAlwaysAllowCache = 0x0400;

NTSTATUS GetFileNameInformation(CallbackData* data, std::uint32_t options,
                                kernel::FileNameInformation** name);

// The name a rename or link request will give (or gave) its file.
NTSTATUS GetDestinationFileNameInformation(Instance* instance, FileObject* fileObject,
                                           void* rootDirectory, const char16_t* fileName,
                                           std::uint32_t fileNameLength, std::uint32_t options,
                                           kernel::FileNameInformation** name);

// The name of a file object outside any operation, without taking the platform's locks.
NTSTATUS GetFileNameInformationUnsafe(FileObject* fileObject, Instance* instance,
                                      std::uint32_t options, kernel::FileNameInformation** name);

// The volume's device name ("\Device\HarddiskVolume1", or on the Linux host the directory).
// With name->Buffer == nullptr, sets name->Length to the bytes needed and returns
// STATUS_BUFFER_TOO_SMALL; otherwise copies into name (capacity name->MaximumLength).
NTSTATUS GetVolumeName(Volume* volume, kernel::UnicodeString* name);

}  // namespace flt
