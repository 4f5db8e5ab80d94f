// The life of volumes: the driver attaching to a volume and detaching from it, and volumes being
// mounted and dismounted.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"
#include "wire/port_wire.h"

namespace vesk::driver {

// Characteristics, device type and file-system type of the volume in the wire's encodings.
// Fails when the volume's properties cannot be had.
kernel::NTSTATUS DescribeVolume(flt::Filter* filter, flt::Volume* volume,
                                wire::VolumePayload* description);

// The attach record of a volume offered while capture is on: remembers the volume's file-system
// type, describes the volume and reports it. A failure status means the volume is declined: its
// name or its record could not be produced. Excluded threads and the rules attach silently.
kernel::NTSTATUS ReportAttach(const flt::RelatedObjects* objects, std::uint32_t volumeDeviceType,
                              std::uint32_t volumeFileSystemType);

// The detach record (or unmount, when the reason is a dismount) of an instance torn down while
// capture is on.
void ReportTeardown(const flt::RelatedObjects* objects, std::uint32_t reason);

}  // namespace vesk::driver
