// Volume properties and run-time routine look-up.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/unicode_string.h"

namespace flt {

// The platform's file-system type numbers (FLT_FILESYSTEM_TYPE): 0 unknown, 1 raw, 2 NTFS, 3 FAT,
// 4 CDFS, 5 UDFS, 6 LAN Manager, ... 22 exFAT, 23 PSFS, 24 GPFS; newer systems add more.
constexpr std::uint32_t kFileSystemTypeUnknown = 0;
constexpr std::uint32_t kFileSystemTypeNtfs = 2;
constexpr std::uint32_t kFileSystemTypeFat = 3;

// Fixed part, then the names' characters (which the strings point to).
struct VolumeProperties {
    std::uint32_t deviceType;
    std::uint32_t deviceCharacteristics;
    kernel::UnicodeString fileSystemDriverName;  // "\FileSystem\Ntfs"
    kernel::UnicodeString realDeviceName;        // "\Device\HarddiskVolume1"
};

// Copies the properties into buffer. STATUS_BUFFER_TOO_SMALL when not even the fixed part fits;
// STATUS_BUFFER_OVERFLOW (a warning) when only the names did not fit (their strings then have
// length 0). *needed always receives the size of the whole.
NTSTATUS GetVolumeProperties(Volume* volume, void* buffer, std::uint32_t length,
                             std::uint32_t* needed);

// The type of "FltGetFileSystemType": the platform's file-system type number of the volume.
using GetFileSystemTypeRoutine = NTSTATUS (*)(Volume* volume, std::uint32_t* fileSystemType);

// Filter-manager routines looked up by name at run time ("FltGetFileSystemType"); nullptr when the
// running platform lacks one.
void* GetRoutineAddress(const char* name);

}  // namespace flt
