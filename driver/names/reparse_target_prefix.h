// How much of a reparse point's target names its volume, so that the rest can be shown as a path.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// In bytes:
//   "\??\X:..."        (X an upper-case letter)                          12
//   "\DosDevices\X:..."                                                  28
//   "\??\Volume{...}" or "\\?\Volume{...}" (a 48-character GUID path)    96, or 98 with the
//                                                                        backslash after it
//   a target that starts with the volume's device name (ignoring case)   its length
// Otherwise STATUS_NOT_SAME_DEVICE: the target lies outside the volume (callers then use 0).
kernel::NTSTATUS ReparseTargetVolumePrefix(const kernel::UnicodeString& volumeName,
                                           const kernel::UnicodeString& target,
                                           std::uint16_t* prefixBytes);

}  // namespace vesk::driver
