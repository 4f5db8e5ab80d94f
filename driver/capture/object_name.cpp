#include "object_name.h"

#include "name_release.h"
#include "names/counted_string.h"
#include "names/network_name.h"
#include "names/volume_name.h"
#include "platform/fltmgr/names.h"

namespace vesk::driver {

using namespace kernel;

bool IsNetworkVolume(flt::Volume* volume) {
    if (volume == nullptr) {
        return false;
    }
    const std::uint32_t type = flt::VolumeDeviceType(volume);
    return type == flt::kDeviceNetwork || type == flt::kDeviceNetworkFileSystem ||
           type == flt::kDeviceNetworkRedirector;
}

std::uint32_t NameQueryOptions(bool operationFailed, bool networkVolume) {
    if (operationFailed) {
        return flt::kNameOpened | flt::kNameQueryAlwaysAllowCache;
    }
    return (networkVolume ? flt::kNameOpened : flt::kNameNormalized) | flt::kNameQueryDefault;
}

NTSTATUS ObjectName::Build(flt::Volume* volume, flt::CallbackData* data,
                           FileNameInformation* streamName) {
    Release();
    const bool network = IsNetworkVolume(volume);
    FileNameInformation* name = streamName;
    if (name == nullptr) {
        if (data == nullptr || data->iopb->targetFileObject == nullptr) {
            if (volume == nullptr) {
                return data == nullptr ? STATUS_INVALID_PARAMETER_MIX : STATUS_INVALID_PARAMETER;
            }
            const NTSTATUS status = GetVolumeNameString(volume, &copy_);
            if (NtSuccess(status)) {
                text_ = *copy_;
                prefixChars_ = 0;
            }
            return status;
        }
        const NTSTATUS status = flt::GetFileNameInformation(
            data, NameQueryOptions(!NtSuccess(data->ioStatus.status), network), &obtained_);
        if (!NtSuccess(status)) {
            return status;
        }
        name = obtained_;
    }
    if (network) {
        std::uint16_t prefix = 0;
        const NTSTATUS status = ConvertNetworkName(name->Name, &copy_, &prefix);
        if (!NtSuccess(status)) {
            Release();
            return status;
        }
        // A device prefix that is no link leaves the name as it is, prefix unknown.
        text_ = copy_ != nullptr ? *copy_ : name->Name;
        prefixChars_ = prefix;
        return STATUS_SUCCESS;
    }
    // A local name needs no copy: the reference held (the caller's or this name's) keeps it.
    text_ = name->Name;
    prefixChars_ = static_cast<std::uint16_t>(name->Volume.Length / sizeof(char16_t));
    return STATUS_SUCCESS;
}

void ObjectName::Release() {
    if (copy_ != nullptr) {
        FreeCountedString(copy_);
        copy_ = nullptr;
    }
    ReleaseName(obtained_);
    obtained_ = nullptr;
    text_ = UnicodeString{0, 0, nullptr};
    prefixChars_ = 0;
}

}  // namespace vesk::driver
