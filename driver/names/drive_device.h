// The device behind a drive letter.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/token.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// The target of the drive's link as the caller sees it ("\??\X:"); failing that, and when a logon
// id is given, the target of that logon session's own drive link
// ("\Sessions\0\DosDevices\HHHHHHHH-LLLLLLLL\X:"), which finds drives mapped only in that
// session. *device is a counted string the caller frees. On failure, the first look-up's status.
kernel::NTSTATUS GetDriveDevice(char16_t letter, const kernel::Luid* logonId,
                                kernel::UnicodeString** device);

}  // namespace vesk::driver
