// One filtered directory: a FUSE session mounted in place over it, whose requests become filter
// operations on one volume of the filter manager. The directory underneath is opened before the
// mount, and every real operation is done relative to that descriptor, so the host's own work
// never comes back through its filter.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "node_table.h"
#include "platform/kernel/status.h"

struct fuse_session;

namespace flt {
class Volume;
}

namespace linux_fuse {

// The file-system name and subtype of every mount the host makes: /proc/self/mountinfo shows
// them as source "vesk" and type "fuse.vesk".
constexpr const char* kFsName = "vesk";
constexpr const char* kMountType = "fuse.vesk";

struct OpenFile;

class FuseVolume {
  public:
    // Opens the directory, makes its volume in the filter manager and mounts over it; the loop
    // runs on worker threads until Unmount. The volume is not yet offered to a filter.
    static kernel::NTSTATUS Mount(const std::string& directory, std::unique_ptr<FuseVolume>* out);
    // Unmounts (lazily when the directory is busy) and ends the loop; a connection that still has
    // users after a grace period is aborted, failing their pending requests.
    ~FuseVolume();

    FuseVolume(const FuseVolume&) = delete;
    FuseVolume& operator=(const FuseVolume&) = delete;

    const std::string& directory() const { return directory_; }
    flt::Volume* volume() const { return volume_; }
    NodeTable& nodes() { return *nodes_; }
    int root() const { return root_; }

    // Open file handles given to the kernel and not yet released.
    void Track(OpenFile* file);
    void Untrack(OpenFile* file);

  private:
    FuseVolume() = default;
    void Unmount();

    std::string directory_;
    int root_ = -1;                 // the directory underneath (O_PATH)
    dev_t connection_ = 0;          // the mount's device: its connection in /sys/fs/fuse
    flt::Volume* volume_ = nullptr;
    std::unique_ptr<NodeTable> nodes_;
    fuse_session* session_ = nullptr;
    std::thread loop_;
    std::atomic<bool> loopEnded_{false};
    std::mutex openLock_;
    std::set<OpenFile*> open_;
};

}  // namespace linux_fuse
