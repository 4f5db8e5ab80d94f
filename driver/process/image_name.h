// The image file name of a process, from the sources the platform offers: the image's file
// object, or the image's path, which is opened to reach a file object.
#pragma once

#include "platform/fltmgr/objects.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/process.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// The normalized name of a file object, asked through the driver's own instance on the file's
// volume without taking the platform's locks. STATUS_FLT_INSTANCE_NOT_FOUND when the driver is
// not attached to that volume.
kernel::NTSTATUS ImageNameFromFileObject(flt::FileObject* fileObject,
                                         kernel::FileNameInformation** name);

// Opens the path (kernel form; read access, shared for reading, an existing file, synchronous)
// and names the file object the open produced. The open passes through the driver's own filter
// like any other and is captured accordingly.
kernel::NTSTATUS ImageNameFromPath(const kernel::UnicodeString& path,
                                   kernel::FileNameInformation** name);

// The process's image path in kernel form, as a counted string ("Fstr") the caller frees.
kernel::NTSTATUS ImagePathOfProcess(kernel::Process* process, kernel::UnicodeString** path);

}  // namespace vesk::driver
