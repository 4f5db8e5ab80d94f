// Volume names from the filter manager, and the reparse-target prefix measured against the volume
// of an instance.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// The volume's device name as a counted string ("Fstr") the caller frees: the size is asked
// first, then the name fetched into a string of exactly that size.
kernel::NTSTATUS GetVolumeNameString(flt::Volume* volume, kernel::UnicodeString** name);

// ReparseTargetVolumePrefix with the device name of the instance's volume; failures to reach the
// volume or its name are returned as they are (callers use 0).
kernel::NTSTATUS ReparseTargetVolumePrefixOfInstance(flt::Instance* instance,
                                                     const kernel::UnicodeString& target,
                                                     std::uint16_t* prefixBytes);

}  // namespace vesk::driver
