// Our FUSE mounts that nobody serves any more, and their removal.
#pragma once

#include <string>
#include <vector>

#include "mountinfo.h"

namespace mounts {

// Our mounts ("fuse.vesk") in /proc/self/mountinfo, in the order the kernel lists them.
std::vector<MountEntry> FindVeskMounts();

// Detaches the mount at mountPoint lazily (umount2 with MNT_DETACH): it leaves the namespace now
// and goes once the last user lets go. Refuses (EINVAL) a mount point that is not one of ours, so
// a directory mounted over by anything else is never touched. 0 or the errno.
int DetachVeskMount(const std::string& mountPoint);

// Detaches every mount of ours at one of the directories (stacked mounts included, innermost
// first). 0 when all went, otherwise the errno of the first failure.
int DetachVeskMountsAt(const std::vector<std::string>& directories);

}  // namespace mounts
