#include "platform/linux/host_kernel.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

#include "../../fltmgr/fltmgr_core.h"
#include "../fuse/fuse_volume.h"
#include "linux_face.h"
#include "platform/error_table.h"
#include "platform/fltmgr/volumes.h"
#include "stale_mounts.h"

namespace linux_host {
namespace {

struct Host {
    std::mutex lock;  // serialises attach, detach, start and stop
    bool started = false;
    flt::Volume* machine = nullptr;  // the machine's own file system
    std::vector<std::unique_ptr<linux_fuse::FuseVolume>> volumes;
};

Host& H() {
    static Host host;
    return host;
}

std::string Normalized(std::string directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    return directory;
}

void RunVolumeOperation(flt::Volume* volume, flt::MajorFunction major) {
    flt::core::Operation op(major, volume);
    op.iopb.parameters.mount.deviceType = flt::kDeviceDiskFileSystem;
    (void)flt::core::RunOperation(op);
}

void Detach(std::unique_ptr<linux_fuse::FuseVolume> volume) {
    RunVolumeOperation(volume->volume(), flt::MajorFunction::VolumeDismount);
    flt::core::Teardown(volume->volume(), flt::kTeardownVolumeDismount);
    volume.reset();  // unmounts
}

}  // namespace

kernel::NTSTATUS StartKernel() {
    std::lock_guard lock(H().lock);
    if (H().started) {
        return kernel::STATUS_SUCCESS;
    }
    if (!linux_kernel::OpenRegistry()) {
        return kernel::STATUS_REGISTRY_IO_FAILED;
    }
    {
        std::lock_guard state(flt::core::S().lock);
        flt::core::S().reclaimHandles = true;
    }
    if (H().machine == nullptr) {
        flt::core::VolumeSpec spec;
        spec.deviceName = u"";
        spec.fileSystemDriver = u"\\FileSystem\\Linux";
        spec.fileSystemType = flt::kFileSystemTypeUnknown;
        H().machine = flt::core::AddVolume(spec);
        H().machine->hostFileSystem = true;
        H().machine->reclaim = true;
    }
    H().started = true;
    return kernel::STATUS_SUCCESS;
}

void StopKernel() {
    DetachAllVolumes();
    std::lock_guard lock(H().lock);
    linux_kernel::CloseRegistry();
    H().started = false;
}

flt::DriverObject* DriverObject() {
    return &flt::core::S().driverObject;
}

flt::Filter* RegisteredFilter() {
    std::lock_guard lock(flt::core::S().lock);
    for (auto& f : flt::core::S().filters) {
        if (f->registered) {
            return f.get();
        }
    }
    return nullptr;
}

kernel::NTSTATUS UnloadFilter(flt::Filter* filter) {
    if (filter == nullptr || filter->registration.unload == nullptr) {
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    }
    return filter->registration.unload(0);
}

kernel::NTSTATUS AttachVolume(const std::string& directory) {
    const std::string name = Normalized(directory);
    std::lock_guard lock(H().lock);
    for (auto& v : H().volumes) {
        if (v->directory() == name) {
            return kernel::STATUS_OBJECT_NAME_COLLISION;
        }
    }
    std::unique_ptr<linux_fuse::FuseVolume> volume;
    const kernel::NTSTATUS status = linux_fuse::FuseVolume::Mount(name, &volume);
    if (!kernel::NtSuccess(status)) {
        return status;
    }
    flt::Volume* v = volume->volume();
    H().volumes.push_back(std::move(volume));
    flt::core::Attach(v, flt::kSetupNewlyMountedVolume);
    RunVolumeOperation(v, flt::MajorFunction::VolumeMount);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS DetachVolume(const std::string& directory) {
    const std::string name = Normalized(directory);
    std::unique_ptr<linux_fuse::FuseVolume> found;
    std::lock_guard lock(H().lock);
    for (auto it = H().volumes.begin(); it != H().volumes.end(); ++it) {
        if ((*it)->directory() == name) {
            found = std::move(*it);
            H().volumes.erase(it);
            break;
        }
    }
    if (!found) {
        return kernel::STATUS_NOT_FOUND;
    }
    Detach(std::move(found));
    return kernel::STATUS_SUCCESS;
}

void DetachAllVolumes() {
    std::lock_guard lock(H().lock);
    while (!H().volumes.empty()) {
        std::unique_ptr<linux_fuse::FuseVolume> last = std::move(H().volumes.back());
        H().volumes.pop_back();
        Detach(std::move(last));
    }
}

std::vector<std::string> Volumes() {
    std::lock_guard lock(H().lock);
    std::vector<std::string> names;
    for (auto& v : H().volumes) {
        names.push_back(v->directory());
    }
    return names;
}

std::vector<std::string> VeskMounts() {
    std::vector<std::string> points;
    for (const mounts::MountEntry& entry : mounts::FindVeskMounts()) {
        points.push_back(entry.mountPoint);
    }
    return points;
}

std::vector<std::string> StaleMounts() {
    const std::vector<std::string> served = Volumes();
    std::vector<std::string> stale;
    for (const std::string& mount : VeskMounts()) {
        if (std::find(served.begin(), served.end(), mount) != served.end()) {
            continue;
        }
        // Another host's live mount answers; one whose host is gone fails with ENOTCONN. (A
        // file-system statistics request always reaches the connection; attributes may be
        // answered from the kernel's cache.)
        struct statvfs st {};
        if (statvfs(mount.c_str(), &st) != 0 && errno == ENOTCONN) {
            stale.push_back(mount);
        }
    }
    return stale;
}

kernel::NTSTATUS RemoveStaleMount(const std::string& directory) {
    const std::string name = Normalized(directory);
    const std::vector<std::string> stale = StaleMounts();
    if (std::find(stale.begin(), stale.end(), name) == stale.end()) {
        return kernel::STATUS_NOT_FOUND;
    }
    if (umount2(name.c_str(), MNT_DETACH) != 0) {
        return platform::NtStatusFromErrno(errno);
    }
    return kernel::STATUS_SUCCESS;
}

}  // namespace linux_host
