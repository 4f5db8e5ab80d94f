// The filter manager's objects as a filter sees them: the filter itself, volumes, instances (one
// filter attached to one volume) and file objects (one open of a file). All opaque; each face of
// the platform defines them.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"

namespace flt {

using kernel::NTSTATUS;

class Filter;
class Volume;
class Instance;
class FileObject;

// The objects an operation or callback concerns; any may be nullptr.
struct RelatedObjects {
    Filter* filter;
    Volume* volume;
    Instance* instance;
    FileObject* fileObject;
};

// A stable 32-bit identity of an object for as long as it lives (volumes while attached, file
// objects between their create and close). Never a pointer the reader could follow.
std::uint32_t VolumeIdentity(Volume* volume);
std::uint32_t FileObjectIdentity(FileObject* fileObject);

// Volume and instance references from the Get... routines below are released with
// ObjectDereference.
void ObjectDereference(Volume* volume);
void ObjectDereference(Instance* instance);

NTSTATUS GetVolumeFromInstance(Instance* instance, Volume** volume);
NTSTATUS GetVolumeFromFileObject(Filter* filter, FileObject* fileObject, Volume** volume);
// The first instance of filter on volume; STATUS_FLT_INSTANCE_NOT_FOUND when there is none.
NTSTATUS GetFirstInstance(Filter* filter, Volume* volume, Instance** instance);

// Device types of volume devices, as the platform numbers them.
constexpr std::uint32_t kDeviceCdRomFileSystem = 0x03;
constexpr std::uint32_t kDeviceDfsFileSystem = 0x35;
constexpr std::uint32_t kDeviceDiskFileSystem = 0x08;
constexpr std::uint32_t kDeviceNetwork = 0x12;
constexpr std::uint32_t kDeviceNetworkFileSystem = 0x14;
constexpr std::uint32_t kDeviceNetworkRedirector = 0x28;
constexpr std::uint32_t kDeviceTapeFileSystem = 0x20;

// The device type of the volume's device object.
std::uint32_t VolumeDeviceType(Volume* volume);

}  // namespace flt
