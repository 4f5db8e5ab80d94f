// Opening a file from kernel mode through the filter manager. The open is an operation like any
// other: the filters attached to the file's volume see its create (and, when the handle is
// closed, its cleanup and close).
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/kernel/handle.h"
#include "platform/kernel/unicode_string.h"

namespace flt {

struct CreateFileParameters {
    std::uint32_t desiredAccess;
    std::uint32_t fileAttributes;
    std::uint32_t shareAccess;
    std::uint32_t disposition;    // platform value: 0 supersede ... 5 overwrite-if
    std::uint32_t createOptions;  // platform bits
};

// Create options and access rights used by kernel callers.
constexpr std::uint32_t kFileNonDirectoryFile = 0x00000040;
constexpr std::uint32_t kFileSynchronousIoNonAlert = 0x00000020;
constexpr std::uint32_t kFileShareRead = 0x1;
constexpr std::uint32_t kFileOpen = 1;
constexpr std::uint32_t kGenericReadAccess = 0x00120089;

// Opens name (kernel form: a volume's device name and a path) through the filters of its volume.
// *handle is a kernel handle the caller closes; *information the create's result (opened,
// created, ...). STATUS_OBJECT_PATH_NOT_FOUND when no volume has that name as its prefix; the
// file system's status otherwise.
NTSTATUS CreateFile(Filter* filter, const kernel::UnicodeString& name,
                    const CreateFileParameters& parameters, kernel::Handle** handle,
                    std::uint32_t* information);

}  // namespace flt
