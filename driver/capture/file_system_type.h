// The file-system type of a volume in the wire's numbering, from four sources in turn: the
// platform's own answer, the redirector that a network file system's device name names, the type
// remembered in the volume's context, and the name of the volume's file-system driver.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fltmgr/objects.h"

namespace vesk::driver {

// The platform's type number to the wire's (NTFS and FAT exchanged); a number outside the
// platform's known range becomes the redirector's type when one is known (LAN Manager 6, WebDAV 7,
// VirtualBox 25, VMware 26), else 0.
std::uint32_t MapPlatformFileSystemType(std::uint32_t platformType, std::uint32_t provider);

// The wire type of a file-system driver name ("\FileSystem\exfat" -> 22), compared exactly; 0 for
// names the table does not hold.
std::uint32_t FileSystemTypeOfDriverName(std::u16string_view driverName);

// The redirector a device name belongs to ("\Device\LanmanRedirector" -> LAN Manager), or 0.
std::uint32_t RedirectorOfDeviceName(std::u16string_view deviceName);

// Never fails; 0 when no source knows.
std::uint32_t FileSystemTypeOf(flt::Filter* filter, flt::Volume* volume, std::uint32_t deviceType);

// Remembers the wire type in the volume's context (replacing one it had).
void SetVolumeFileSystemType(flt::Filter* filter, flt::Volume* volume, std::uint32_t type);

}  // namespace vesk::driver
