// Drive-letter paths in kernel form: "D:\DATA\*" -> "\Device\HarddiskVolume2\DATA\*". Rule
// patterns and the names of I/O commands are written with drive letters; notifications carry
// kernel names.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// At least two characters (4 bytes), a letter A to Z or a to z, then a colon.
bool IsDriveLetterPath(const kernel::UnicodeString& path);

// *kernelPath receives the drive's device (rewritten through its redirector's link when it is a
// network name) followed by the path after "X:"; a counted string the caller frees. A path not in
// drive-letter form gives nullptr and STATUS_SUCCESS: it is used as it is. A drive letter that
// does not resolve fails with the look-up's status.
kernel::NTSTATUS ConvertDriveLetterPath(const kernel::UnicodeString& path,
                                        kernel::UnicodeString** kernelPath);

}  // namespace vesk::driver
