// Volume properties and run-time routine look-up.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/unicode_string.h"

namespace flt {

struct VolumeProperties {
    std::uint32_t deviceType;
    std::uint32_t deviceCharacteristics;
    kernel::UnicodeString fileSystemDriverName;  // "\FileSystem\Ntfs"
};

// Copies the properties into buffer. STATUS_BUFFER_TOO_SMALL with *needed set when the buffer is
// too small for the fixed part; 0x80000005 (buffer overflow, a warning) when only the names did
// not fit.
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005U);
NTSTATUS GetVolumeProperties(Volume* volume, void* buffer, std::uint32_t length,
                             std::uint32_t* needed);

// The platform's answer for the volume's file system, when it has one.
NTSTATUS GetFileSystemType(Instance* instance, std::uint32_t* fileSystemType);

// Routines a filter looks up by name at run time ("FltGetFileSystemType",
// "PsSetCreateProcessNotifyRoutineEx", "PsReferenceProcessFilePointer"); nullptr when the running
// platform lacks one.
void* GetRoutineAddress(const char* name);

}  // namespace flt
