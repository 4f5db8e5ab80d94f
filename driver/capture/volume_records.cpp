#include "volume_records.h"

#include "capture_environment.h"
#include "class_captures.h"
#include "file_system_type.h"
#include "platform/fltmgr/registration.h"
#include "platform/fltmgr/volumes.h"
#include "record_frame.h"
#include "wire/wire_encodings.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS DescribeVolume(flt::Filter* filter, flt::Volume* volume,
                        wire::VolumePayload* description) {
    // The fixed part is all that is needed; names that do not fit only draw a warning.
    flt::VolumeProperties properties{};
    std::uint32_t needed = 0;
    const NTSTATUS status =
        flt::GetVolumeProperties(volume, &properties, sizeof properties, &needed);
    if (!NtSuccess(status) && status != STATUS_BUFFER_OVERFLOW) {
        return status;
    }
    description->VolumeFlags = wire::EncodeVolumeFlags(properties.deviceCharacteristics);
    description->DeviceType = wire::EncodeDeviceType(properties.deviceType);
    description->FileSystemType = FileSystemTypeOf(filter, volume, properties.deviceType);
    return STATUS_SUCCESS;
}

NTSTATUS ReportAttach(const flt::RelatedObjects* objects, std::uint32_t volumeDeviceType,
                      std::uint32_t volumeFileSystemType) {
    const std::uint32_t mapped = MapPlatformFileSystemType(volumeFileSystemType, 0);
    if (mapped != 0) {
        SetVolumeFileSystemType(objects->filter, objects->volume, mapped);
    }
    wire::VolumePayload payload{};
    if (!NtSuccess(DescribeVolume(objects->filter, objects->volume, &payload))) {
        payload = {0, wire::EncodeDeviceType(volumeDeviceType), mapped};
    } else if (payload.FileSystemType == 0) {
        payload.FileSystemType = mapped;
    }
    RecordInput input;
    input.actingThread = CurrentThread();
    input.volume = objects->volume;
    input.operationClass = wire::VeskOpAttach;
    RecordFrame frame(input);
    bool report = false;
    NTSTATUS status = frame.Admit(&report);
    if (!NtSuccess(status) || !report) {
        return status;
    }
    const PayloadPiece pieces[] = {{&payload, sizeof payload}};
    return frame.Emit(pieces);
}

void ReportTeardown(const flt::RelatedObjects* objects, std::uint32_t reason) {
    RecordInput input;
    input.actingThread = CurrentThread();
    input.volume = objects->volume;
    input.operationClass =
        (reason & flt::kTeardownVolumeDismount) != 0 ? wire::VeskOpUnmount : wire::VeskOpDetach;
    EmitFileRecord(input, {});
}

void CaptureMount(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names) {
    wire::VolumePayload payload{};
    if (!NtSuccess(DescribeVolume(objects->filter, objects->volume, &payload))) {
        return;
    }
    payload.DeviceType = wire::EncodeDeviceType(data->iopb->parameters.mount.deviceType);
    const PayloadPiece pieces[] = {{&payload, sizeof payload}};
    EmitFileRecord(OperationRecord(data, objects, names.source, wire::VeskOpMount), pieces);
}

void CaptureUnmount(flt::CallbackData* data, const flt::RelatedObjects* objects) {
    EmitFileRecord(OperationRecord(data, objects, nullptr, wire::VeskOpUnmount), {});
}

}  // namespace vesk::driver
