// The object namespace behind the kernel's symbolic-link and device-map routines. Internal to
// the platform: a face fills it (the simulated world from a test, the Linux host from its
// configuration); the driver sees it only through symbolic_link.h and device_map.h.
//
// An entry is a symbolic link (with its target and, for drive-letter links, the drive's type) or
// another named object, such as a device. Directories exist implicitly: "\A\B" is a directory
// while any entry lies below it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kernel/device_map.h"
#include "platform/kernel/status.h"
#include "platform/kernel/token.h"

namespace kernel::objects {

void InsertObject(std::u16string_view name);
void InsertSymbolicLink(std::u16string_view name, std::u16string_view target,
                        DriveType driveType = DRIVE_UNKNOWN);
void Remove(std::u16string_view name);
void Clear();  // also forgets an injected device-map failure

// Makes every device-map query fail with status (STATUS_SUCCESS: answer again).
void FailDeviceMapQueries(NTSTATUS status);

// "\Sessions\0\DosDevices\HHHHHHHH-LLLLLLLL": the directory of a logon session's own drive links.
std::u16string LogonSessionDosDevices(const Luid& logonId);

}  // namespace kernel::objects
