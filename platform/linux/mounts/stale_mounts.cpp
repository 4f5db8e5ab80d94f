#include "stale_mounts.h"

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace mounts {

std::vector<MountEntry> FindVeskMounts() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    std::vector<MountEntry> ours;
    for (MountEntry& entry : ParseMountInfo(text.str())) {
        if (IsVeskMount(entry)) {
            ours.push_back(std::move(entry));
        }
    }
    return ours;
}

int DetachVeskMount(const std::string& mountPoint) {
    const auto ours = FindVeskMounts();
    const bool found = std::any_of(ours.begin(), ours.end(), [&](const MountEntry& entry) {
        return entry.mountPoint == mountPoint;
    });
    if (!found) {
        return EINVAL;
    }
    return umount2(mountPoint.c_str(), MNT_DETACH | UMOUNT_NOFOLLOW) == 0 ? 0 : errno;
}

int DetachVeskMountsAt(const std::vector<std::string>& directories) {
    int first = 0;
    // The kernel lists mounts in the order they were made: the last one at a directory is the
    // one on top, so they are detached from the end.
    const auto ours = FindVeskMounts();
    for (auto entry = ours.rbegin(); entry != ours.rend(); ++entry) {
        if (std::find(directories.begin(), directories.end(), entry->mountPoint) ==
            directories.end()) {
            continue;
        }
        if (umount2(entry->mountPoint.c_str(), MNT_DETACH | UMOUNT_NOFOLLOW) != 0 &&
            errno != EINVAL && first == 0) {
            first = errno;
        }
    }
    return first;
}

}  // namespace mounts
