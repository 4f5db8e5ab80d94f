// The host's kernel: what the vesk-host daemon (and the Linux face's tests) use to run a filter
// driver on the real machine. StartKernel brings up the registry at the state directory and the
// machine's own file system; volumes are directories the host attaches, each a FUSE file system
// mounted in place over the directory, whose requests reach the registered filter.
#pragma once

#include <string>
#include <vector>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"

namespace linux_host {

// Opens the registry ($VESK_ROOT/state/registry.db, or /var/lib/vesk/registry.db). Idempotent.
// STATUS_REGISTRY_IO_FAILED when the database cannot be opened.
kernel::NTSTATUS StartKernel();
// Detaches every volume and closes the registry. A filter still registered is left as it is
// (unload it first).
void StopKernel();

// The driver object handed to the driver's entry.
flt::DriverObject* DriverObject();
// The filter the driver registered (the first still registered), or nullptr.
flt::Filter* RegisteredFilter();
// Runs the filter's unload callback and returns its status (STATUS_INVALID_DEVICE_REQUEST when
// it has none), as the platform does when the filter is unloaded.
kernel::NTSTATUS UnloadFilter(flt::Filter* filter);

// Mounts a FUSE file system over the directory and offers it as a volume: a filter that is
// filtering gets instance setup, then the volume's mount operation. The volume's device name is
// the directory ("/srv/data"). STATUS_OBJECT_NAME_COLLISION when it is attached already;
// the open or mount failure otherwise (the directory is left as it was).
kernel::NTSTATUS AttachVolume(const std::string& directory);
// The volume's dismount operation and instance teardown, then the unmount (lazy while files are
// open there). STATUS_NOT_FOUND when the directory is not attached.
kernel::NTSTATUS DetachVolume(const std::string& directory);
void DetachAllVolumes();
// The attached directories, in attach order.
std::vector<std::string> Volumes();

// Mounts this host makes are FUSE mounts of type "fuse.vesk" (source "vesk"). A host that was
// killed leaves its mounts behind, dead: every access fails with ENOTCONN. VeskMounts lists the
// mount points of that type in /proc/self/mountinfo; StaleMounts those this process does not
// serve whose connection is dead (statvfs fails with ENOTCONN; another host's live mounts answer);
// RemoveStaleMount detaches one (lazily), leaving the directory underneath as it was.
std::vector<std::string> VeskMounts();
std::vector<std::string> StaleMounts();
kernel::NTSTATUS RemoveStaleMount(const std::string& directory);

}  // namespace linux_host
