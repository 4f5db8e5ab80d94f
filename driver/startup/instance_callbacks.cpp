#include "instance_callbacks.h"

#include "capture/capture_environment.h"
#include "capture/volume_records.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS InstanceSetup(const flt::RelatedObjects* objects, std::uint32_t,
                       std::uint32_t volumeDeviceType, std::uint32_t volumeFileSystemType) {
    if (!CaptureGateOpen(*Environment().driver)) {
        return STATUS_SUCCESS;
    }
    return ReportAttach(objects, volumeDeviceType, volumeFileSystemType);
}

void InstanceTeardownComplete(const flt::RelatedObjects* objects, std::uint32_t reason) {
    if (!CaptureGateOpen(*Environment().driver)) {
        return;
    }
    ReportTeardown(objects, reason);
}

}  // namespace vesk::driver
