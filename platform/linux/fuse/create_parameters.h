// The create parameters a FUSE open, create, opendir, mkdir, mknod or symlink stands for: the
// platform's disposition, create options, desired access, share access and attributes, derived
// from the open flags, and the create's result.
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"

namespace linux_fuse {

// What kind of request opens the file.
enum class OpenKind : std::uint8_t {
    Open,       // an existing file (FUSE open: the kernel took O_CREAT and O_EXCL away)
    Create,     // FUSE create: O_CREAT was given, the file did not exist when the kernel looked
    Directory,  // opendir
    MakeDirectory,
    MakeNode,
    SymbolicLink,
};

// Platform values.
constexpr std::uint32_t kDispositionOpen = 1;
constexpr std::uint32_t kDispositionCreate = 2;
constexpr std::uint32_t kDispositionOpenIf = 3;
constexpr std::uint32_t kDispositionOverwrite = 4;
constexpr std::uint32_t kDispositionOverwriteIf = 5;

constexpr std::uint32_t kOptionDirectoryFile = 0x00000001;
constexpr std::uint32_t kOptionWriteThrough = 0x00000002;
constexpr std::uint32_t kOptionNoIntermediateBuffering = 0x00000008;
constexpr std::uint32_t kOptionSynchronousIoNonAlert = 0x00000020;
constexpr std::uint32_t kOptionNonDirectoryFile = 0x00000040;
constexpr std::uint32_t kOptionOpenReparsePoint = 0x00200000;

constexpr std::uint32_t kFileGenericRead = 0x00120089;
constexpr std::uint32_t kFileGenericWrite = 0x00120116;
constexpr std::uint32_t kFileAppendOnlyWrite = 0x00120114;  // generic write without write data

constexpr std::uint16_t kShareAll = 0x7;  // read, write, delete: Linux has no share modes

constexpr std::uint16_t kAttributeDirectory = 0x10;
constexpr std::uint16_t kAttributeNormal = 0x80;

// Create results.
constexpr std::uint64_t kResultOpened = 1;
constexpr std::uint64_t kResultCreated = 2;
constexpr std::uint64_t kResultOverwritten = 3;

flt::CreateParameters CreateParametersFor(OpenKind kind, int openFlags);

// The completion information of a create that succeeded.
std::uint64_t CreateResultFor(OpenKind kind, int openFlags);

}  // namespace linux_fuse
