// Volume properties, the platform's file-system type and routine look-up.
#include <cstring>

#include "fltmgr_core.h"
#include "platform/fltmgr/volumes.h"
#include "platform/kernel/system_routines.h"

namespace flt::core {
namespace {

kernel::NTSTATUS VolumeFileSystemType(flt::Volume* volume, std::uint32_t* fileSystemType) {
    *fileSystemType = volume->spec.fileSystemType;
    return kernel::STATUS_SUCCESS;
}

}  // namespace


bool RoutineAvailable(const char* name) {
    std::lock_guard lock(S().lock);
    return S().missingRoutines.count(name) == 0;
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

NTSTATUS GetVolumeProperties(Volume* volume, void* buffer, std::uint32_t length,
                             std::uint32_t* needed) {
    if (volume->propertiesFailure != 0) {
        return volume->propertiesFailure;
    }
    const std::u16string& driver = volume->spec.fileSystemDriver;
    const std::u16string& device = volume->spec.deviceName;
    const std::uint32_t namesBytes =
        static_cast<std::uint32_t>((driver.size() + device.size()) * sizeof(char16_t));
    *needed = sizeof(VolumeProperties) + namesBytes;
    if (buffer == nullptr || length < sizeof(VolumeProperties)) {
        return kernel::STATUS_BUFFER_TOO_SMALL;
    }
    auto* properties = static_cast<VolumeProperties*>(buffer);
    properties->deviceType = volume->spec.deviceType;
    properties->deviceCharacteristics = volume->spec.characteristics;
    properties->fileSystemDriverName = {0, 0, nullptr};
    properties->realDeviceName = {0, 0, nullptr};
    if (length < *needed) {
        return kernel::STATUS_BUFFER_OVERFLOW;
    }
    auto* text = reinterpret_cast<char16_t*>(properties + 1);
    const auto put = [&text](kernel::UnicodeString* out, const std::u16string& value) {
        const auto bytes = static_cast<std::uint16_t>(value.size() * sizeof(char16_t));
        std::memcpy(text, value.data(), bytes);
        *out = {bytes, bytes, text};
        text += value.size();
    };
    put(&properties->fileSystemDriverName, driver);
    put(&properties->realDeviceName, device);
    return kernel::STATUS_SUCCESS;
}

void* GetRoutineAddress(const char* name) {
    if (std::strcmp(name, "FltGetFileSystemType") == 0 && RoutineAvailable(name)) {
        return reinterpret_cast<void*>(&VolumeFileSystemType);
    }
    return nullptr;
}

}  // namespace flt

namespace kernel {

void* GetSystemRoutineAddress(const char* name) {
    if (!flt::core::RoutineAvailable(name)) {
        return nullptr;
    }
    return flt::core::ProcessRoutineAddress(name);
}

}  // namespace kernel

