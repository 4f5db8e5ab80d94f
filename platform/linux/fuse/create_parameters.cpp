#include "create_parameters.h"

#include <fcntl.h>

namespace linux_fuse {
namespace {

std::uint32_t DispositionFor(OpenKind kind, int flags) {
    switch (kind) {
        case OpenKind::Open:
            return (flags & O_TRUNC) != 0 ? kDispositionOverwrite : kDispositionOpen;
        case OpenKind::Create:
            if ((flags & O_EXCL) != 0) {
                return kDispositionCreate;
            }
            return (flags & O_TRUNC) != 0 ? kDispositionOverwriteIf : kDispositionOpenIf;
        case OpenKind::Directory:
            return kDispositionOpen;
        case OpenKind::MakeDirectory:
        case OpenKind::MakeNode:
        case OpenKind::SymbolicLink:
            return kDispositionCreate;  // each fails on an existing name
    }
    return kDispositionOpen;
}

std::uint32_t AccessFor(OpenKind kind, int flags) {
    if (kind != OpenKind::Open && kind != OpenKind::Create) {
        return kFileGenericRead;
    }
    const std::uint32_t write =
        (flags & O_APPEND) != 0 ? kFileAppendOnlyWrite : kFileGenericWrite;
    switch (flags & O_ACCMODE) {
        case O_WRONLY:
            return write;
        case O_RDWR:
            return kFileGenericRead | write;
        default:
            return kFileGenericRead;
    }
}

std::uint32_t OptionsFor(OpenKind kind, int flags) {
    std::uint32_t options = kOptionSynchronousIoNonAlert;  // Linux I/O is synchronous
    switch (kind) {
        case OpenKind::Directory:
        case OpenKind::MakeDirectory:
            options |= kOptionDirectoryFile;
            break;
        case OpenKind::SymbolicLink:
            options |= kOptionNonDirectoryFile | kOptionOpenReparsePoint;
            break;
        default:
            options |= kOptionNonDirectoryFile;
            break;
    }
    if ((flags & (O_SYNC | O_DSYNC)) != 0) {
        options |= kOptionWriteThrough;
    }
    if ((flags & O_DIRECT) != 0) {
        options |= kOptionNoIntermediateBuffering;
    }
    return options;
}

}  // namespace

flt::CreateParameters CreateParametersFor(OpenKind kind, int openFlags) {
    flt::CreateParameters p{};
    p.options = (DispositionFor(kind, openFlags) << 24) | (OptionsFor(kind, openFlags) & 0x00FFFFFF);
    p.fileAttributes = kind == OpenKind::MakeDirectory ? kAttributeDirectory
                       : kind == OpenKind::Create || kind == OpenKind::MakeNode ||
                               kind == OpenKind::SymbolicLink
                           ? kAttributeNormal
                           : 0;
    p.shareAccess = kShareAll;
    p.allocationSize = 0;
    p.desiredAccess = AccessFor(kind, openFlags);
    return p;
}

std::uint64_t CreateResultFor(OpenKind kind, int openFlags) {
    switch (kind) {
        case OpenKind::Open:
            return (openFlags & O_TRUNC) != 0 ? kResultOverwritten : kResultOpened;
        case OpenKind::Create:
        case OpenKind::MakeDirectory:
        case OpenKind::MakeNode:
        case OpenKind::SymbolicLink:
            return kResultCreated;
        case OpenKind::Directory:
            return kResultOpened;
    }
    return kResultOpened;
}

}  // namespace linux_fuse
