// The attach decision and the detach record.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

// While capture is off every volume is attached silently, without a volume context. While it is
// on the volume's file-system type is remembered and the attach record reported; a volume is
// declined (the failure status) only when its name or its record cannot be produced.
kernel::NTSTATUS InstanceSetup(const flt::RelatedObjects* objects, std::uint32_t flags,
                               std::uint32_t volumeDeviceType, std::uint32_t volumeFileSystemType);

// Reports the detachment (or the dismount) while capture is on.
void InstanceTeardownComplete(const flt::RelatedObjects* objects, std::uint32_t reason);

}  // namespace vesk::driver
