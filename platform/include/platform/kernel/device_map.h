// Device maps: which drive letters a process (or a logon session) sees, and of what type.
#pragma once

#include <cstdint>

#include "platform/kernel/process.h"
#include "platform/kernel/status.h"
#include "platform/kernel/token.h"

namespace kernel {

enum DriveType : std::uint8_t {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

struct ProcessDeviceMap {
    std::uint32_t DriveMap;      // bit n: drive letter 'A' + n exists
    std::uint8_t DriveType[32];  // per letter, DriveType values; 0 for letters that do not exist
};

// The drives a process sees: its logon session's drive links and the global ones (a session's
// letter hides a global one of the same letter). Below DISPATCH_LEVEL.
NTSTATUS QueryProcessDeviceMap(Process* process, ProcessDeviceMap* map);

// The same for a logon session; logonId nullptr gives the global drives only.
NTSTATUS QueryDeviceMap(const Luid* logonId, ProcessDeviceMap* map);

}  // namespace kernel
