#define FUSE_USE_VERSION 314
#include "fuse_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <cstddef>
#include <cstring>
#include <vector>

#include "../../fltmgr/fltmgr_core.h"
#include "../kernel/linux_objects.h"
#include "create_parameters.h"
#include "fuse_volume.h"
#include "mode_security.h"
#include "platform/error_table.h"
#include "platform/kernel/system_time.h"
#include "request_credentials.h"
#include "text.h"

namespace linux_fuse {

// One open FUSE file handle: the file object the filter sees, and the real descriptor.
struct OpenFile {
    flt::FileObject* fileObject = nullptr;
    int fd = -1;
    DIR* dir = nullptr;
    // Who last closed a descriptor of this open file (its flush): the kernel sends the release
    // itself, without a requestor, once the last descriptor is gone.
    std::mutex lock;
    linux_kernel::Requestor lastCloser;
};

namespace {

using flt::MajorFunction;

constexpr double kCacheSeconds = 1.0;  // look-ups and attributes: queries are not reported

FuseVolume& V(fuse_req_t req) {
    return *static_cast<FuseVolume*>(fuse_req_userdata(req));
}

OpenFile* Handle(const fuse_file_info* fi) {
    return reinterpret_cast<OpenFile*>(static_cast<std::uintptr_t>(fi->fh));
}

Credentials CallerOf(fuse_req_t req) {
    const fuse_ctx* ctx = fuse_req_ctx(req);
    Credentials caller;
    caller.uid = ctx->uid;
    caller.gid = ctx->gid;
    gid_t groups[64];
    int count = ctx->pid != 0 ? fuse_req_getgroups(req, 64, groups) : 0;
    if (count > 64) {
        caller.groups.resize(static_cast<std::size_t>(count));
        count = fuse_req_getgroups(req, count, caller.groups.data());
        caller.groups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    } else if (count > 0) {
        caller.groups.assign(groups, groups + count);
    }
    return caller;
}

// A request that reaches the filter: the requesting thread is the current thread while it runs.
linux_kernel::Requestor RequestorOf(fuse_req_t req) {
    const fuse_ctx* ctx = fuse_req_ctx(req);
    return {static_cast<std::uint32_t>(ctx->pid), ctx->uid, ctx->gid};
}

class FilteredRequest {
  public:
    explicit FilteredRequest(fuse_req_t req) : FilteredRequest(req, RequestorOf(req)) {}
    FilteredRequest(fuse_req_t req, const linux_kernel::Requestor& requestor)
        : caller(CallerOf(req)), requestor_(requestor) {}
    const Credentials caller;

  private:
    linux_kernel::RequestorScope requestor_;
};

// Runs the real operation as the caller: 0 or its errno.
template <typename Real>
int AsCaller(const Credentials& caller, Real real) {
    CredentialScope scope(caller);
    errno = 0;
    return real() ? 0 : (errno != 0 ? errno : EIO);
}

// Runs the operation through the filter with the real operation between its callbacks. real
// fills in the completion information and returns true on success (errno set otherwise).
template <typename Real>
int Run(const FilteredRequest& request, flt::core::Operation& op, Real real) {
    int error = 0;
    op.fileSystem = [&](flt::CallbackData& data) {
        std::uint64_t information = 0;
        error = AsCaller(request.caller, [&] { return real(&information); });
        data.ioStatus = {error == 0 ? kernel::STATUS_SUCCESS : platform::NtStatusFromErrno(error),
                         information};
    };
    (void)flt::core::RunOperation(op);
    return error;
}

std::string ProcPath(int root, const std::string& relative) {
    return "/proc/self/fd/" + std::to_string(root) + (relative == "." ? "" : "/" + relative);
}

// A file object for one operation on a node that has no open file (or on a name no node has
// yet); no create or close is reported for it.
flt::FileObject* FileObjectFor(FuseVolume& v, std::uint64_t node, const std::string& fullPath) {
    flt::Stream* stream = node != 0 ? v.nodes().StreamOf(node) : nullptr;
    const std::u16string name = user::Utf8ToUtf16(fullPath);
    if (stream != nullptr) {
        flt::core::SetStreamName(stream, name);
    }
    return flt::core::OpenFileObject(v.volume(), name, stream);
}

void RunsOperationsOnClose(flt::FileObject* fileObject) {
    std::lock_guard lock(flt::core::S().lock);
    fileObject->operationsOnClose = true;
}

fuse_entry_param EntryOf(std::uint64_t node, const struct stat& st) {
    fuse_entry_param e{};
    e.ino = node;
    e.attr = st;
    e.attr_timeout = kCacheSeconds;
    e.entry_timeout = kCacheSeconds;
    return e;
}

// Remembers the file a create made under parent/name and moves the create's file object onto
// its node's stream, so contexts set on it stay with the inode. 0 when it cannot be found.
std::uint64_t Adopt(FuseVolume& v, std::uint64_t parent, const std::string& name,
                    const std::string& relative, flt::FileObject* fileObject, struct stat* st) {
    if (fstatat(v.root(), relative.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) {
        return 0;
    }
    const std::uint64_t node = v.nodes().Remember(parent, name, st->st_dev, st->st_ino);
    if (node != 0) {
        if (flt::Stream* stream = v.nodes().StreamOf(node)) {
            flt::core::MoveFileObjectToStream(fileObject, stream);
        }
    }
    return node;
}

void Close(flt::FileObject* fileObject) {
    // Cleanup, then close when the last reference goes (operationsOnClose).
    flt::core::Operation cleanup(MajorFunction::Cleanup, fileObject);
    (void)flt::core::RunOperation(cleanup);
    flt::core::DropFileObjectReference(fileObject);
}

// ---- queries ----

void Init(void*, fuse_conn_info* conn) {
    if ((conn->capable & FUSE_CAP_ATOMIC_O_TRUNC) != 0) {
        conn->want |= FUSE_CAP_ATOMIC_O_TRUNC;  // O_TRUNC reaches the open, not a setattr
    }
    // Writes must come from the writing thread, one by one.
    conn->want &= ~FUSE_CAP_WRITEBACK_CACHE;
}

void Lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePathOf(parent, name, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    struct stat st {};
    const int error = AsCaller(CallerOf(req), [&] {
        return fstatat(v.root(), relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    const std::uint64_t node = v.nodes().Remember(parent, name, st.st_dev, st.st_ino);
    if (node == 0) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    const fuse_entry_param e = EntryOf(node, st);
    if (fuse_reply_entry(req, &e) != 0) {
        v.nodes().Forget(node, 1);
    }
}

void Forget(fuse_req_t req, fuse_ino_t ino, uint64_t nlookup) {
    V(req).nodes().Forget(ino, nlookup);
    fuse_reply_none(req);
}

void ForgetMulti(fuse_req_t req, size_t count, fuse_forget_data* forgets) {
    for (size_t i = 0; i < count; ++i) {
        V(req).nodes().Forget(forgets[i].ino, forgets[i].nlookup);
    }
    fuse_reply_none(req);
}

void GetAttr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    FuseVolume& v = V(req);
    struct stat st {};
    int error;
    if (fi != nullptr && Handle(fi)->fd >= 0) {
        error = fstat(Handle(fi)->fd, &st) == 0 ? 0 : errno;
    } else {
        std::string relative;
        if (!v.nodes().RelativePath(ino, &relative)) {
            fuse_reply_err(req, ESTALE);
            return;
        }
        error = AsCaller(CallerOf(req), [&] {
            return fstatat(v.root(), relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        });
    }
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_attr(req, &st, kCacheSeconds);
}

void ReadLink(fuse_req_t req, fuse_ino_t ino) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePath(ino, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    char target[PATH_MAX + 1];
    ssize_t length = -1;
    const int error = AsCaller(CallerOf(req), [&] {
        length = readlinkat(v.root(), relative.c_str(), target, PATH_MAX);
        return length >= 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    target[length] = '\0';
    fuse_reply_readlink(req, target);
}

void StatFs(fuse_req_t req, fuse_ino_t) {
    struct statvfs st {};
    if (fstatvfs(V(req).root(), &st) != 0) {
        fuse_reply_err(req, errno);
        return;
    }
    fuse_reply_statfs(req, &st);
}

void GetXattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePath(ino, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    std::vector<char> value(size);
    ssize_t length = -1;
    const std::string path = ProcPath(v.root(), relative);
    const int error = AsCaller(CallerOf(req), [&] {
        length = lgetxattr(path.c_str(), name, size != 0 ? value.data() : nullptr, size);
        return length >= 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
    } else if (size == 0) {
        fuse_reply_xattr(req, static_cast<size_t>(length));
    } else {
        fuse_reply_buf(req, value.data(), static_cast<size_t>(length));
    }
}

void ListXattr(fuse_req_t req, fuse_ino_t ino, size_t size) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePath(ino, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    std::vector<char> names(size);
    ssize_t length = -1;
    const std::string path = ProcPath(v.root(), relative);
    const int error = AsCaller(CallerOf(req), [&] {
        length = llistxattr(path.c_str(), size != 0 ? names.data() : nullptr, size);
        return length >= 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
    } else if (size == 0) {
        fuse_reply_xattr(req, static_cast<size_t>(length));
    } else {
        fuse_reply_buf(req, names.data(), static_cast<size_t>(length));
    }
}

void ReadDir(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi) {
    OpenFile* file = Handle(fi);
    std::vector<char> buffer(size);
    std::size_t used = 0;
    const int error = AsCaller(CallerOf(req), [&] {
        seekdir(file->dir, offset);
        for (;;) {
            errno = 0;
            dirent* entry = readdir(file->dir);
            if (entry == nullptr) {
                return errno == 0;
            }
            struct stat st {};
            st.st_ino = entry->d_ino;
            st.st_mode = static_cast<mode_t>(entry->d_type) << 12;
            const off_t next = telldir(file->dir);
            const std::size_t need = fuse_add_direntry(req, buffer.data() + used, size - used,
                                                       entry->d_name, &st, next);
            if (need > size - used) {
                seekdir(file->dir, offset);  // this entry comes with the next call
                return true;
            }
            used += need;
            offset = next;
        }
    });
    if (error != 0 && used == 0) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

// ---- opens and closes ----

// The create of a file object on the node (or on the name below parent when node is 0).
void SetCreate(flt::core::Operation& op, OpenKind kind, int flags) {
    op.iopb.parameters.create = CreateParametersFor(kind, flags);
}

void Open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    FuseVolume& v = V(req);
    std::string relative, full;
    if (!v.nodes().RelativePath(ino, &relative) || !v.nodes().FullPath(ino, &full)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    auto file = std::make_unique<OpenFile>();
    file->fileObject = FileObjectFor(v, ino, full);
    flt::core::Operation create(MajorFunction::Create, file->fileObject);
    const int flags = fi->flags & ~(O_CREAT | O_EXCL | O_NOCTTY);
    SetCreate(create, OpenKind::Open, flags);
    const int error = Run(request, create, [&](std::uint64_t* information) {
        file->fd = openat(v.root(), relative.c_str(), flags | O_CLOEXEC);
        *information = file->fd >= 0 ? CreateResultFor(OpenKind::Open, flags) : 0;
        return file->fd >= 0;
    });
    if (error != 0) {
        // A failed open leaves no file object; its filters see no cleanup or close.
        flt::core::DropFileObjectReference(file->fileObject);
        fuse_reply_err(req, error);
        return;
    }
    RunsOperationsOnClose(file->fileObject);
    fi->direct_io = 1;  // every read and write reaches the filter
    fi->keep_cache = 0;
    fi->fh = reinterpret_cast<std::uintptr_t>(file.get());
    v.Track(file.get());
    if (fuse_reply_open(req, fi) == 0) {
        file.release();
    } else {
        v.Untrack(file.get());
        close(file->fd);
        Close(file->fileObject);
    }
}

void Create(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode,
            fuse_file_info* fi) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePathOf(parent, name, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    auto file = std::make_unique<OpenFile>();
    file->fileObject = FileObjectFor(v, v.nodes().Find(parent, name), v.nodes().FullPathOf(parent, name));
    flt::core::Operation create(MajorFunction::Create, file->fileObject);
    const int flags = fi->flags;
    SetCreate(create, OpenKind::Create, flags);
    std::uint64_t node = 0;
    struct stat st {};
    const int error = Run(request, create, [&](std::uint64_t* information) {
        // The name may have appeared since the kernel looked: then this open opened it.
        file->fd = openat(v.root(), relative.c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        bool created = file->fd >= 0;
        if (!created && errno == EEXIST && (flags & O_EXCL) == 0) {
            file->fd = openat(v.root(), relative.c_str(), (flags & ~O_CREAT) | O_CLOEXEC);
        }
        if (file->fd < 0) {
            return false;
        }
        *information = created ? CreateResultFor(OpenKind::Create, flags)
                               : CreateResultFor(OpenKind::Open, flags);
        node = Adopt(v, parent, name, relative, file->fileObject, &st);
        return true;
    });
    if (error != 0) {
        flt::core::DropFileObjectReference(file->fileObject);
        fuse_reply_err(req, error);
        return;
    }
    RunsOperationsOnClose(file->fileObject);
    if (node == 0) {
        close(file->fd);
        Close(file->fileObject);
        fuse_reply_err(req, EIO);
        return;
    }
    fi->direct_io = 1;
    fi->keep_cache = 0;
    fi->fh = reinterpret_cast<std::uintptr_t>(file.get());
    const fuse_entry_param e = EntryOf(node, st);
    v.Track(file.get());
    if (fuse_reply_create(req, &e, fi) == 0) {
        file.release();
    } else {
        v.Untrack(file.get());
        v.nodes().Forget(node, 1);
        close(file->fd);
        Close(file->fileObject);
    }
}

void OpenDir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    FuseVolume& v = V(req);
    std::string relative, full;
    if (!v.nodes().RelativePath(ino, &relative) || !v.nodes().FullPath(ino, &full)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    auto file = std::make_unique<OpenFile>();
    file->fileObject = FileObjectFor(v, ino, full);
    flt::core::Operation create(MajorFunction::Create, file->fileObject);
    SetCreate(create, OpenKind::Directory, O_RDONLY | O_DIRECTORY);
    const int error = Run(request, create, [&](std::uint64_t* information) {
        const int fd = openat(v.root(), relative.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        file->dir = fdopendir(fd);
        if (file->dir == nullptr) {
            const int saved = errno;
            close(fd);
            errno = saved;
            return false;
        }
        *information = kResultOpened;
        return true;
    });
    if (error != 0) {
        flt::core::DropFileObjectReference(file->fileObject);
        fuse_reply_err(req, error);
        return;
    }
    RunsOperationsOnClose(file->fileObject);
    fi->fh = reinterpret_cast<std::uintptr_t>(file.get());
    v.Track(file.get());
    if (fuse_reply_open(req, fi) == 0) {
        file.release();
    } else {
        v.Untrack(file.get());
        closedir(file->dir);
        Close(file->fileObject);
    }
}

void ReleaseFile(fuse_req_t req, fuse_file_info* fi) {
    std::unique_ptr<OpenFile> file(Handle(fi));
    V(req).Untrack(file.get());
    {
        linux_kernel::Requestor requestor = RequestorOf(req);
        if (requestor.threadId == 0) {
            std::lock_guard lock(file->lock);
            requestor = file->lastCloser;
        }
        FilteredRequest request(req, requestor);
        flt::core::Operation cleanup(MajorFunction::Cleanup, file->fileObject);
        (void)Run(request, cleanup, [&](std::uint64_t*) {
            if (file->dir != nullptr) {
                closedir(file->dir);
            } else if (file->fd >= 0) {
                close(file->fd);
            }
            return true;
        });
        flt::core::DropFileObjectReference(file->fileObject);  // runs the close
    }
    fuse_reply_err(req, 0);
}

void Release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    ReleaseFile(req, fi);
}

void ReleaseDir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    ReleaseFile(req, fi);
}

void Flush(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    // Each close of a descriptor; nothing is buffered here. The cleanup at release is the
    // closer's.
    const linux_kernel::Requestor closer = RequestorOf(req);
    if (closer.threadId != 0) {
        OpenFile* file = Handle(fi);
        std::lock_guard lock(file->lock);
        file->lastCloser = closer;
    }
    fuse_reply_err(req, 0);
}

// ---- transfers ----

void Read(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi) {
    OpenFile* file = Handle(fi);
    FilteredRequest request(req);
    std::vector<char> buffer(size);
    flt::core::Operation read(MajorFunction::Read, file->fileObject);
    read.iopb.parameters.transfer = {static_cast<std::uint32_t>(size), 0, offset, nullptr,
                                     buffer.data()};
    ssize_t got = 0;
    const int error = Run(request, read, [&](std::uint64_t* information) {
        got = pread(file->fd, buffer.data(), size, offset);
        *information = got > 0 ? static_cast<std::uint64_t>(got) : 0;
        return got >= 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_buf(req, buffer.data(), static_cast<size_t>(got));
}

void Write(fuse_req_t req, fuse_ino_t, const char* data, size_t size, off_t offset,
           fuse_file_info* fi) {
    OpenFile* file = Handle(fi);
    FilteredRequest request(req);
    flt::core::Operation write(MajorFunction::Write, file->fileObject);
    write.iopb.parameters.transfer = {static_cast<std::uint32_t>(size), 0, offset, nullptr,
                                      const_cast<char*>(data)};
    ssize_t put = 0;
    const int error = Run(request, write, [&](std::uint64_t* information) {
        put = pwrite(file->fd, data, size, offset);
        *information = put > 0 ? static_cast<std::uint64_t>(put) : 0;
        return put >= 0;
    });
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    fuse_reply_write(req, static_cast<size_t>(put));
}

void FsyncFile(fuse_req_t req, int datasync, fuse_file_info* fi) {
    OpenFile* file = Handle(fi);
    FilteredRequest request(req);
    flt::core::Operation flush(MajorFunction::FlushBuffers, file->fileObject);
    const int fd = file->dir != nullptr ? dirfd(file->dir) : file->fd;
    const int error = Run(request, flush, [&](std::uint64_t*) {
        return (datasync != 0 ? fdatasync(fd) : fsync(fd)) == 0;
    });
    fuse_reply_err(req, error);
}

void Fsync(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
    FsyncFile(req, datasync, fi);
}

void FsyncDir(fuse_req_t req, fuse_ino_t, int datasync, fuse_file_info* fi) {
    FsyncFile(req, datasync, fi);
}

// ---- set information ----

// A set-information operation on the node's open file, or on a file object for this operation.
template <typename Real>
int SetInformation(FuseVolume& v, const FilteredRequest& request, fuse_ino_t ino,
                   fuse_file_info* fi, flt::FileInformationClass informationClass, void* buffer,
                   std::uint32_t length, Real real) {
    flt::FileObject* fileObject = nullptr;
    bool temporary = false;
    if (fi != nullptr && Handle(fi)->fileObject != nullptr) {
        fileObject = Handle(fi)->fileObject;
    } else {
        std::string full;
        if (!v.nodes().FullPath(ino, &full)) {
            return ESTALE;
        }
        fileObject = FileObjectFor(v, ino, full);
        temporary = true;
    }
    flt::core::Operation op(MajorFunction::SetInformation, fileObject);
    op.iopb.parameters.setInformation = {length, informationClass, buffer};
    const int error = Run(request, op, real);
    if (temporary) {
        flt::core::DropFileObjectReference(fileObject);
    }
    return error;
}

std::int64_t SystemTimeOf(const timespec& t) {
    constexpr std::int64_t kEpochDifference = 11'644'473'600LL;
    return (static_cast<std::int64_t>(t.tv_sec) + kEpochDifference) * 10'000'000LL +
           t.tv_nsec / 100;
}

void SetAttr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info* fi) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePath(ino, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    const int fd = fi != nullptr && Handle(fi)->fd >= 0 ? Handle(fi)->fd : -1;
    const std::string path = ProcPath(v.root(), relative);
    FilteredRequest request(req);
    int error = 0;

    if ((toSet & FUSE_SET_ATTR_SIZE) != 0) {
        std::int64_t endOfFile = attr->st_size;
        error = SetInformation(v, request, ino, fi, flt::FileEndOfFileInformation, &endOfFile,
                               sizeof endOfFile, [&](std::uint64_t*) {
                                   return (fd >= 0 ? ftruncate(fd, attr->st_size)
                                                   : truncate(path.c_str(), attr->st_size)) == 0;
                               });
    }

    const bool owner = (toSet & FUSE_SET_ATTR_UID) != 0;
    const bool group = (toSet & FUSE_SET_ATTR_GID) != 0;
    const bool mode = (toSet & FUSE_SET_ATTR_MODE) != 0;
    if (error == 0 && (owner || group || mode)) {
        struct stat now {};
        (void)fstatat(v.root(), relative.c_str(), &now, AT_SYMLINK_NOFOLLOW);
        SecurityChange change;
        if (owner) {
            change.owner = attr->st_uid;
        }
        if (group) {
            change.group = attr->st_gid;
        }
        if (mode) {
            change.mode = attr->st_mode & 07777;
        }
        change.fileOwner = owner ? attr->st_uid : now.st_uid;
        change.fileGroup = group ? attr->st_gid : now.st_gid;
        std::vector<std::uint8_t> descriptor = SecurityDescriptorFor(change);
        flt::FileObject* fileObject = fi != nullptr ? Handle(fi)->fileObject : nullptr;
        std::string full;
        const bool temporary = fileObject == nullptr;
        if (temporary) {
            v.nodes().FullPath(ino, &full);
            fileObject = FileObjectFor(v, ino, full);
        }
        flt::core::Operation op(MajorFunction::SetSecurity, fileObject);
        op.iopb.parameters.setSecurity = {SecurityInformationOf(change),
                                          descriptor.empty() ? nullptr : descriptor.data(),
                                          static_cast<std::uint32_t>(descriptor.size())};
        error = Run(request, op, [&](std::uint64_t*) {
            if (owner || group) {
                const uid_t u = owner ? attr->st_uid : static_cast<uid_t>(-1);
                const gid_t g = group ? attr->st_gid : static_cast<gid_t>(-1);
                const int done = fd >= 0 ? fchown(fd, u, g)
                                         : fchownat(v.root(), relative.c_str(), u, g,
                                                    AT_SYMLINK_NOFOLLOW);
                if (done != 0) {
                    return false;
                }
            }
            if (mode) {
                const mode_t bits = attr->st_mode & 07777;
                return (fd >= 0 ? fchmod(fd, bits) : chmod(path.c_str(), bits)) == 0;
            }
            return true;
        });
        if (temporary) {
            flt::core::DropFileObjectReference(fileObject);
        }
    }

    const int timeBits = FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_ATIME_NOW |
                         FUSE_SET_ATTR_MTIME_NOW;
    if (error == 0 && (toSet & timeBits) != 0) {
        timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
        flt::BasicInformation basic{};
        const std::int64_t now = kernel::QuerySystemTime();
        if ((toSet & FUSE_SET_ATTR_ATIME_NOW) != 0) {
            times[0].tv_nsec = UTIME_NOW;
            basic.lastAccessTime = now;
        } else if ((toSet & FUSE_SET_ATTR_ATIME) != 0) {
            times[0] = attr->st_atim;
            basic.lastAccessTime = SystemTimeOf(attr->st_atim);
        }
        if ((toSet & FUSE_SET_ATTR_MTIME_NOW) != 0) {
            times[1].tv_nsec = UTIME_NOW;
            basic.lastWriteTime = now;
        } else if ((toSet & FUSE_SET_ATTR_MTIME) != 0) {
            times[1] = attr->st_mtim;
            basic.lastWriteTime = SystemTimeOf(attr->st_mtim);
        }
        error = SetInformation(v, request, ino, fi, flt::FileBasicInformation, &basic,
                               sizeof basic, [&](std::uint64_t*) {
                                   return (fd >= 0 ? futimens(fd, times)
                                                   : utimensat(v.root(), relative.c_str(), times,
                                                               AT_SYMLINK_NOFOLLOW)) == 0;
                               });
    }
    if (error != 0) {
        fuse_reply_err(req, error);
        return;
    }
    struct stat st {};
    if ((fd >= 0 ? fstat(fd, &st) : fstatat(v.root(), relative.c_str(), &st, AT_SYMLINK_NOFOLLOW)) !=
        0) {
        fuse_reply_err(req, errno);
        return;
    }
    fuse_reply_attr(req, &st, kCacheSeconds);
}

void Fallocate(fuse_req_t req, fuse_ino_t ino, int mode, off_t offset, off_t length,
               fuse_file_info* fi) {
    FilteredRequest request(req);
    std::int64_t allocation = offset + length;
    const int error = SetInformation(V(req), request, ino, fi, flt::FileAllocationInformation,
                                     &allocation, sizeof allocation, [&](std::uint64_t*) {
                                         return fallocate(Handle(fi)->fd, mode, offset, length) == 0;
                                     });
    fuse_reply_err(req, error);
}

// The name's removal: a disposition with delete on a file object of the node at that name.
void Remove(fuse_req_t req, fuse_ino_t parent, const char* name, bool directory) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePathOf(parent, name, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    flt::FileObject* fileObject =
        FileObjectFor(v, v.nodes().Find(parent, name), v.nodes().FullPathOf(parent, name));
    std::uint8_t deleteFile = 1;
    flt::core::Operation op(MajorFunction::SetInformation, fileObject);
    op.iopb.parameters.setInformation = {sizeof deleteFile, flt::FileDispositionInformation,
                                         &deleteFile};
    const int error = Run(request, op, [&](std::uint64_t*) {
        return unlinkat(v.root(), relative.c_str(), directory ? AT_REMOVEDIR : 0) == 0;
    });
    flt::core::DropFileObjectReference(fileObject);
    if (error == 0) {
        v.nodes().Unlinked(parent, name);
    }
    fuse_reply_err(req, error);
}

void Unlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
    Remove(req, parent, name, false);
}

void RmDir(fuse_req_t req, fuse_ino_t parent, const char* name) {
    Remove(req, parent, name, true);
}

// The rename or link buffer naming the full destination path.
std::vector<std::uint8_t> RenameBuffer(const std::string& destination, bool replace) {
    const std::u16string target = user::Utf8ToUtf16(destination);
    const std::uint32_t bytes = static_cast<std::uint32_t>(target.size() * sizeof(char16_t));
    std::vector<std::uint8_t> buffer(offsetof(flt::RenameInformation, fileName) + bytes +
                                     sizeof(char16_t));
    auto* info = reinterpret_cast<flt::RenameInformation*>(buffer.data());
    info->replaceIfExists = replace ? 1 : 0;
    info->rootDirectory = nullptr;
    info->fileNameLength = bytes;
    std::memcpy(info->fileName, target.data(), bytes);
    return buffer;
}

void Rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent,
            const char* newName, unsigned int flags) {
    FuseVolume& v = V(req);
    std::string from, to;
    if (!v.nodes().RelativePathOf(parent, name, &from) ||
        !v.nodes().RelativePathOf(newParent, newName, &to)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    flt::FileObject* fileObject =
        FileObjectFor(v, v.nodes().Find(parent, name), v.nodes().FullPathOf(parent, name));
    std::vector<std::uint8_t> buffer =
        RenameBuffer(v.nodes().FullPathOf(newParent, newName), (flags & RENAME_NOREPLACE) == 0);
    flt::core::Operation op(MajorFunction::SetInformation, fileObject);
    op.iopb.parameters.setInformation = {static_cast<std::uint32_t>(buffer.size() - 2),
                                         flt::FileRenameInformation, buffer.data()};
    const int error = Run(request, op, [&](std::uint64_t*) {
        return renameat2(v.root(), from.c_str(), v.root(), to.c_str(), flags) == 0;
    });
    flt::core::DropFileObjectReference(fileObject);
    if (error == 0) {
        v.nodes().Renamed(parent, name, newParent, newName, (flags & RENAME_EXCHANGE) != 0);
    }
    fuse_reply_err(req, error);
}

void Link(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newParent, const char* newName) {
    FuseVolume& v = V(req);
    std::string from, to, full;
    if (!v.nodes().RelativePath(ino, &from) || !v.nodes().FullPath(ino, &full) ||
        !v.nodes().RelativePathOf(newParent, newName, &to)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    flt::FileObject* fileObject = FileObjectFor(v, ino, full);
    std::vector<std::uint8_t> buffer = RenameBuffer(v.nodes().FullPathOf(newParent, newName), false);
    flt::core::Operation op(MajorFunction::SetInformation, fileObject);
    op.iopb.parameters.setInformation = {static_cast<std::uint32_t>(buffer.size() - 2),
                                         flt::FileLinkInformation, buffer.data()};
    const int error = Run(request, op, [&](std::uint64_t*) {
        return linkat(v.root(), from.c_str(), v.root(), to.c_str(), 0) == 0;
    });
    flt::core::DropFileObjectReference(fileObject);
    struct stat st {};
    if (error == 0 && fstatat(v.root(), to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        const std::uint64_t node =
            v.nodes().Remember(newParent, newName, st.st_dev, st.st_ino, false);
        const fuse_entry_param e = EntryOf(node, st);
        if (fuse_reply_entry(req, &e) != 0) {
            v.nodes().Forget(node, 1);
        }
        return;
    }
    fuse_reply_err(req, error != 0 ? error : errno);
}

// ---- creating names ----

// mkdir, mknod and symlink: a create of the new name, what follows it (symlink: setting its
// reparse point), then cleanup and close, as an open of the new file would show.
template <typename Real, typename After>
void MakeName(fuse_req_t req, fuse_ino_t parent, const char* name, OpenKind kind, Real real,
              After after) {
    FuseVolume& v = V(req);
    std::string relative;
    if (!v.nodes().RelativePathOf(parent, name, &relative)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    flt::FileObject* fileObject =
        FileObjectFor(v, v.nodes().Find(parent, name), v.nodes().FullPathOf(parent, name));
    flt::core::Operation create(MajorFunction::Create, fileObject);
    SetCreate(create, kind, O_CREAT | O_EXCL);
    std::uint64_t node = 0;
    struct stat st {};
    const int error = Run(request, create, [&](std::uint64_t* information) {
        if (!real(relative)) {
            return false;
        }
        *information = kResultCreated;
        node = Adopt(v, parent, name, relative, fileObject, &st);
        return true;
    });
    if (error != 0) {
        flt::core::DropFileObjectReference(fileObject);
        fuse_reply_err(req, error);
        return;
    }
    RunsOperationsOnClose(fileObject);
    after(request, fileObject);
    Close(fileObject);
    if (node == 0) {
        fuse_reply_err(req, EIO);
        return;
    }
    const fuse_entry_param e = EntryOf(node, st);
    if (fuse_reply_entry(req, &e) != 0) {
        v.nodes().Forget(node, 1);
    }
}

void MkDir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
    FuseVolume& v = V(req);
    MakeName(
        req, parent, name, OpenKind::MakeDirectory,
        [&](const std::string& relative) { return mkdirat(v.root(), relative.c_str(), mode) == 0; },
        [](const FilteredRequest&, flt::FileObject*) {});
}

void MkNod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t rdev) {
    FuseVolume& v = V(req);
    MakeName(
        req, parent, name, OpenKind::MakeNode,
        [&](const std::string& relative) {
            return mknodat(v.root(), relative.c_str(), mode, rdev) == 0;
        },
        [](const FilteredRequest&, flt::FileObject*) {});
}

// A symbolic-link reparse buffer: tag, data length, reserved, substitute name offset and length,
// print name offset and length, flags (1: relative), then the names.
std::vector<std::uint8_t> SymbolicLinkReparseBuffer(const std::string& target) {
    const std::u16string text = user::Utf8ToUtf16(target);
    const auto bytes = static_cast<std::uint16_t>(
        std::min<std::size_t>(text.size() * sizeof(char16_t), 0x7FF0));
    std::vector<std::uint8_t> buffer(20 + 2 * static_cast<std::size_t>(bytes), 0);
    const std::uint32_t tag = flt::IO_REPARSE_TAG_SYMLINK;
    const auto dataLength = static_cast<std::uint16_t>(12 + 2 * bytes);
    const std::uint16_t substituteOffset = 0;
    const std::uint16_t printOffset = bytes;
    const std::uint32_t flags = !target.empty() && target[0] == '/' ? 0 : 1;
    std::memcpy(buffer.data(), &tag, 4);
    std::memcpy(buffer.data() + 4, &dataLength, 2);
    std::memcpy(buffer.data() + 8, &substituteOffset, 2);
    std::memcpy(buffer.data() + 10, &bytes, 2);
    std::memcpy(buffer.data() + 12, &printOffset, 2);
    std::memcpy(buffer.data() + 14, &bytes, 2);
    std::memcpy(buffer.data() + 16, &flags, 4);
    std::memcpy(buffer.data() + 20, text.data(), bytes);
    std::memcpy(buffer.data() + 20 + bytes, text.data(), bytes);
    return buffer;
}

void Symlink(fuse_req_t req, const char* target, fuse_ino_t parent, const char* name) {
    FuseVolume& v = V(req);
    const std::string link(target);
    MakeName(
        req, parent, name, OpenKind::SymbolicLink,
        [&](const std::string& relative) {
            return symlinkat(link.c_str(), v.root(), relative.c_str()) == 0;
        },
        [&](const FilteredRequest& request, flt::FileObject* fileObject) {
            std::vector<std::uint8_t> buffer = SymbolicLinkReparseBuffer(link);
            flt::core::Operation op(MajorFunction::FileSystemControl, fileObject);
            op.iopb.minorFunction = flt::kMinorUserFsRequest;
            op.iopb.parameters.fileSystemControl = {flt::FSCTL_SET_REPARSE_POINT,
                                                    static_cast<std::uint32_t>(buffer.size()), 0,
                                                    buffer.data()};
            (void)Run(request, op, [](std::uint64_t*) { return true; });  // symlinkat set it
        });
}

// ---- extended attributes ----

// One FILE_FULL_EA_INFORMATION entry: next entry offset, flags, name length, value length, the
// name with its terminator, the value. A zero-length value removes the attribute. Empty when the
// name or value is too long for the entry's fields.
std::vector<std::uint8_t> ExtendedAttributeEntry(const char* name, const char* value,
                                                 std::size_t size) {
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 255 || size > 0xFFFF) {
        return {};
    }
    std::vector<std::uint8_t> entry(8 + nameLength + 1 + size, 0);
    entry[5] = static_cast<std::uint8_t>(nameLength);
    const auto valueLength = static_cast<std::uint16_t>(size);
    std::memcpy(entry.data() + 6, &valueLength, 2);
    std::memcpy(entry.data() + 8, name, nameLength);
    if (size != 0) {
        std::memcpy(entry.data() + 8 + nameLength + 1, value, size);
    }
    return entry;
}

template <typename Real>
void SetEa(fuse_req_t req, fuse_ino_t ino, std::vector<std::uint8_t> entry, Real real) {
    FuseVolume& v = V(req);
    std::string relative, full;
    if (!v.nodes().RelativePath(ino, &relative) || !v.nodes().FullPath(ino, &full)) {
        fuse_reply_err(req, ESTALE);
        return;
    }
    FilteredRequest request(req);
    flt::FileObject* fileObject = FileObjectFor(v, ino, full);
    flt::core::Operation op(MajorFunction::SetEa, fileObject);
    op.iopb.parameters.buffer = {static_cast<std::uint32_t>(entry.size()),
                                 entry.empty() ? nullptr : entry.data()};
    const std::string path = ProcPath(v.root(), relative);
    const int error = Run(request, op, [&](std::uint64_t*) { return real(path); });
    flt::core::DropFileObjectReference(fileObject);
    fuse_reply_err(req, error);
}

void SetXattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value, size_t size,
              int flags) {
    SetEa(req, ino, ExtendedAttributeEntry(name, value, size), [&](const std::string& path) {
        return lsetxattr(path.c_str(), name, value, size, flags) == 0;
    });
}

void RemoveXattr(fuse_req_t req, fuse_ino_t ino, const char* name) {
    SetEa(req, ino, ExtendedAttributeEntry(name, nullptr, 0), [&](const std::string& path) {
        return lremovexattr(path.c_str(), name) == 0;
    });
}

fuse_lowlevel_ops MakeOperations() {
    fuse_lowlevel_ops ops{};
    ops.init = Init;
    ops.lookup = Lookup;
    ops.forget = Forget;
    ops.forget_multi = ForgetMulti;
    ops.getattr = GetAttr;
    ops.setattr = SetAttr;
    ops.readlink = ReadLink;
    ops.mknod = MkNod;
    ops.mkdir = MkDir;
    ops.unlink = Unlink;
    ops.rmdir = RmDir;
    ops.symlink = Symlink;
    ops.rename = Rename;
    ops.link = Link;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    ops.flush = Flush;
    ops.release = Release;
    ops.fsync = Fsync;
    ops.opendir = OpenDir;
    ops.readdir = ReadDir;
    ops.releasedir = ReleaseDir;
    ops.fsyncdir = FsyncDir;
    ops.statfs = StatFs;
    ops.setxattr = SetXattr;
    ops.getxattr = GetXattr;
    ops.listxattr = ListXattr;
    ops.removexattr = RemoveXattr;
    ops.create = Create;
    ops.fallocate = Fallocate;
    return ops;
}

}  // namespace

void CloseAbandoned(OpenFile* file) {
    std::unique_ptr<OpenFile> owned(file);
    if (file->dir != nullptr) {
        closedir(file->dir);
    } else if (file->fd >= 0) {
        close(file->fd);
    }
    Close(file->fileObject);
}

const fuse_lowlevel_ops& Operations() {
    static const fuse_lowlevel_ops ops = MakeOperations();
    return ops;
}

}  // namespace linux_fuse
