#include "file_system_type.h"

#include <array>

#include "capture_contexts.h"
#include "core/pool_tags.h"
#include "names/counted_string.h"
#include "names/redirector_table.h"
#include "names/volume_name.h"
#include "platform/fltmgr/contexts.h"
#include "platform/fltmgr/volumes.h"
#include "platform/kernel/pool.h"
#include "wire/port_wire.h"
#include "wire/wire_encodings.h"

namespace vesk::driver {

using namespace kernel;

namespace {

struct DriverNameType {
    std::u16string_view name;
    std::uint32_t type;
};

// In the order names are compared.
constexpr std::array<DriverNameType, 23> kDriverNames{{
    {u"\\FileSystem\\RAW", wire::VeskFsRaw},
    {u"\\FileSystem\\Ntfs", wire::VeskFsNtfs},
    {u"\\FileSystem\\Fastfat", wire::VeskFsFat},
    {u"\\FileSystem\\Cdfs", wire::VeskFsCdfs},
    {u"\\FileSystem\\Udfs", wire::VeskFsUdfs},
    {u"\\FileSystem\\MRxSmb", wire::VeskFsLanman},
    {u"\\FileSystem\\MRxDav", wire::VeskFsWebDav},
    {u"\\FileSystem\\rdpdr", wire::VeskFsRdpdr},
    {u"\\FileSystem\\NfsRdr", wire::VeskFsNfs},
    {u"\\FileSystem\\nwrdr", wire::VeskFsNetware},
    {u"\\FileSystem\\BsUDF", wire::VeskFsBsudf},
    {u"\\FileSystem\\Mup", wire::VeskFsMup},
    {u"\\FileSystem\\RsFxDrv", wire::VeskFsRsfx},
    {u"\\FileSystem\\cdudf_xp", wire::VeskFsRoxioUdf1},
    {u"\\FileSystem\\UdfReadr_xp", wire::VeskFsRoxioUdf2},
    {u"\\FileSystem\\DVDVRRdr_xp", wire::VeskFsRoxioUdf3},
    {u"\\FileSystem\\TCFSPSE", wire::VeskFsTacit},
    {u"\\FileSystem\\Fs_rec", wire::VeskFsRecognizer},
    {u"\\FileSystem\\InCDfs", wire::VeskFsIncd},
    {u"\\FileSystem\\InCDFat", wire::VeskFsIncdFat},
    {u"\\FileSystem\\exfat", wire::VeskFsExfat},
    {u"\\FileSystem\\psfs", wire::VeskFsPsfs},
    {u"\\FileSystem\\gpfs", wire::VeskFsGpfs},
}};

constexpr std::uint32_t kLastPlatformType = 24;

std::uint32_t TypeOfRedirector(std::uint32_t provider) {
    switch (provider) {
        case wire::VeskProviderLanman:
            return wire::VeskFsLanman;
        case wire::VeskProviderWebDav:
            return wire::VeskFsWebDav;
        case wire::VeskProviderVirtualBox:
            return wire::VeskFsVirtualBox;
        case wire::VeskProviderVmware:
            return wire::VeskFsVmware;
        default:  // client-side caching has no type of its own
            return wire::VeskFsUnknown;
    }
}

std::uint32_t TypeFromContext(flt::Filter* filter, flt::Volume* volume) {
    void* context = nullptr;
    if (!NtSuccess(flt::GetVolumeContext(filter, volume, &context))) {
        return 0;
    }
    const std::uint32_t type = static_cast<VeskVolumeContext*>(context)->FileSystemType;
    flt::ReleaseContext(context);
    return type;
}

std::uint32_t TypeFromDriverName(flt::Volume* volume) {
    std::uint32_t needed = 0;
    NTSTATUS status = flt::GetVolumeProperties(volume, nullptr, 0, &needed);
    if (status != STATUS_BUFFER_TOO_SMALL || needed < sizeof(flt::VolumeProperties)) {
        return 0;
    }
    void* block = AllocatePool(PoolType::NonPaged, needed, kTagVolumeProperties);
    if (block == nullptr) {
        return 0;
    }
    std::uint32_t type = 0;
    status = flt::GetVolumeProperties(volume, block, needed, &needed);
    if (NtSuccess(status)) {
        type = FileSystemTypeOfDriverName(
            View(static_cast<flt::VolumeProperties*>(block)->fileSystemDriverName));
    }
    FreePool(block, kTagVolumeProperties);
    return type;
}

}  // namespace

std::uint32_t MapPlatformFileSystemType(std::uint32_t platformType, std::uint32_t provider) {
    if (platformType >= 1 && platformType <= kLastPlatformType) {
        return wire::EncodeFileSystemType(platformType);
    }
    return TypeOfRedirector(provider);
}

std::uint32_t FileSystemTypeOfDriverName(std::u16string_view driverName) {
    for (const DriverNameType& entry : kDriverNames) {
        if (entry.name == driverName) {
            return entry.type;
        }
    }
    return 0;
}

std::uint32_t RedirectorOfDeviceName(std::u16string_view name) {
    // "\Device\Mup\;<component>" puts the redirector after the semicolon, any other device name
    // right after "\Device\".
    constexpr std::u16string_view mup = u"\\Device\\Mup\\;";
    constexpr std::u16string_view device = u"\\Device\\";
    std::u16string_view rest;
    if (name.size() > mup.size() && name.substr(0, mup.size()) == mup) {
        rest = name.substr(mup.size());
    } else if (name.size() > device.size() && name.substr(0, device.size()) == device) {
        rest = name.substr(device.size());
    } else {
        return 0;
    }
    return LookupRedirector(rest.substr(0, rest.find(u'\\')));
}

std::uint32_t FileSystemTypeOf(flt::Filter* filter, flt::Volume* volume, std::uint32_t deviceType) {
    std::uint32_t platformType = flt::kFileSystemTypeUnknown;
    std::uint32_t type = 0;
    if (auto routine = reinterpret_cast<flt::GetFileSystemTypeRoutine>(
            flt::GetRoutineAddress("FltGetFileSystemType"))) {
        if (NtSuccess(routine(volume, &platformType))) {
            type = MapPlatformFileSystemType(platformType, 0);
        }
    }
    if (type == 0 && deviceType == flt::kDeviceNetworkFileSystem) {
        UnicodeString* name = nullptr;
        if (NtSuccess(GetVolumeNameString(volume, &name))) {
            type = MapPlatformFileSystemType(platformType, RedirectorOfDeviceName(View(*name)));
            FreeCountedString(name);
        }
    }
    if (type == 0) {
        type = TypeFromContext(filter, volume);
    }
    if (type == 0) {
        type = TypeFromDriverName(volume);
    }
    return type;
}

void SetVolumeFileSystemType(flt::Filter* filter, flt::Volume* volume, std::uint32_t type) {
    void* context = nullptr;
    if (!NtSuccess(flt::AllocateContext(filter, flt::ContextType::Volume, sizeof(VeskVolumeContext),
                                        &context))) {
        return;
    }
    static_cast<VeskVolumeContext*>(context)->FileSystemType = type;
    (void)flt::SetVolumeContextReplacing(filter, volume, context, nullptr);
    flt::ReleaseContext(context);
}

}  // namespace vesk::driver
