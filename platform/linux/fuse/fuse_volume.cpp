#define FUSE_USE_VERSION 314
#include "fuse_volume.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "../../fltmgr/fltmgr_core.h"
#include "fuse_operations.h"
#include "platform/error_table.h"
#include "platform/fltmgr/volumes.h"
#include "stale_mounts.h"
#include "text.h"

namespace linux_fuse {
namespace {

// The device of the newest mount of ours at the mount point, from /proc/self/mountinfo: the
// number of its connection in the FUSE control file system. 0 when not found.
dev_t MountDevice(const std::string& mountPoint) {
    dev_t found = 0;
    for (const mounts::MountEntry& entry : mounts::FindVeskMounts()) {
        unsigned major = 0, minor = 0;
        if (entry.mountPoint == mountPoint &&
            std::sscanf(entry.device.c_str(), "%u:%u", &major, &minor) == 2) {
            found = makedev(major, minor);
        }
    }
    return found;
}

// Fails every pending and future request of the connection, through the FUSE control file
// system (mounted first when the machine has not).
void AbortConnection(dev_t connection) {
    const std::string directory = "/sys/fs/fuse/connections";
    const std::string abortFile = directory + "/" + std::to_string(minor(connection)) + "/abort";
    if (access(abortFile.c_str(), W_OK) != 0) {
        (void)mount("fusectl", directory.c_str(), "fusectl", 0, nullptr);
    }
    std::ofstream abort(abortFile);
    abort << "1" << std::flush;
}

}  // namespace

kernel::NTSTATUS FuseVolume::Mount(const std::string& directory,
                                   std::unique_ptr<FuseVolume>* out) {
    out->reset();
    if (directory.empty() || directory[0] != '/') {
        return kernel::STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    std::unique_ptr<FuseVolume> v(new FuseVolume);
    v->directory_ = directory;
    while (v->directory_.size() > 1 && v->directory_.back() == '/') {
        v->directory_.pop_back();
    }
    v->root_ = open(v->directory_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (v->root_ < 0) {
        return platform::NtStatusFromErrno(errno);
    }

    flt::core::VolumeSpec spec;
    spec.deviceName = user::Utf8ToUtf16(v->directory_);
    spec.deviceType = flt::kDeviceDiskFileSystem;
    spec.fileSystemDriver = u"\\FileSystem\\Fuse";
    spec.fileSystemType = flt::kFileSystemTypeUnknown;
    v->volume_ = flt::core::AddVolume(spec);
    v->volume_->reclaim = true;
    v->nodes_ = std::make_unique<NodeTable>(v->volume_, v->directory_);

    const std::string options = std::string("-oallow_other,default_permissions,fsname=") +
                                kFsName + ",subtype=" + kFsName;
    const char* argv[] = {"vesk-host", options.c_str(), nullptr};
    fuse_args args = FUSE_ARGS_INIT(2, const_cast<char**>(argv));
    v->session_ = fuse_session_new(&args, &Operations(), sizeof(fuse_lowlevel_ops), v.get());
    fuse_opt_free_args(&args);
    if (v->session_ == nullptr) {
        flt::core::MarkDismounted(v->volume_);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    if (fuse_session_mount(v->session_, v->directory_.c_str()) != 0) {
        fuse_session_destroy(v->session_);
        v->session_ = nullptr;
        flt::core::MarkDismounted(v->volume_);
        return kernel::STATUS_UNSUCCESSFUL;
    }
    // Never stat the mount here: its requests would wait for a loop that is not running yet.
    v->connection_ = MountDevice(v->directory_);
    FuseVolume* self = v.get();
    v->loop_ = std::thread([self] {
        fuse_loop_config* config = fuse_loop_cfg_create();
        fuse_loop_cfg_set_clone_fd(config, 0);
        fuse_loop_cfg_set_idle_threads(config, 4);
        (void)fuse_session_loop_mt(self->session_, config);
        fuse_loop_cfg_destroy(config);
        self->loopEnded_ = true;
    });
    *out = std::move(v);
    return kernel::STATUS_SUCCESS;
}

void FuseVolume::Unmount() {
    if (session_ == nullptr) {
        return;
    }
    // Detach the mount (lazily: open files keep it until they are closed). When its last user
    // goes the kernel ends the connection, the workers' reads fail and the loop returns; only
    // then may the session's descriptor be closed.
    fuse_session_exit(session_);
    (void)umount2(directory_.c_str(), MNT_DETACH);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!loopEnded_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!loopEnded_ && connection_ != 0) {
        // Users that keep the detached mount open get their requests failed from now on.
        AbortConnection(connection_);
    }
    if (loop_.joinable()) {
        loop_.join();
    }
    fuse_session_unmount(session_);  // closes the descriptor; the mount is gone already
    fuse_session_destroy(session_);
    session_ = nullptr;
}

void FuseVolume::Track(OpenFile* file) {
    std::lock_guard lock(openLock_);
    open_.insert(file);
}

void FuseVolume::Untrack(OpenFile* file) {
    std::lock_guard lock(openLock_);
    open_.erase(file);
}

FuseVolume::~FuseVolume() {
    Unmount();
    // Files still open when the connection ended never get their release.
    std::set<OpenFile*> abandoned;
    {
        std::lock_guard lock(openLock_);
        abandoned.swap(open_);
    }
    for (OpenFile* file : abandoned) {
        CloseAbandoned(file);
    }
    nodes_.reset();
    if (volume_ != nullptr) {
        flt::core::MarkDismounted(volume_);
    }
    if (root_ >= 0) {
        close(root_);
    }
}

}  // namespace linux_fuse
