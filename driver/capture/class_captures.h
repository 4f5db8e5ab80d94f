// The completion step of each operation class: each builds its payload from the request and the
// completion, decides its class (or that it produces nothing) and passes the record through the
// common frame. Names are borrowed from the completion context, which the caller releases.
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"
#include "platform/kernel/file_name_information.h"
#include "record_frame.h"

namespace vesk::driver {

struct CompletionNames {
    kernel::FileNameInformation* source;  // the stream's name before the operation
    kernel::FileNameInformation* target;  // rename and link: the destination before it
};

// Create and network query-open. *name is the pre-create name (or nullptr); the capture may
// exchange it for the name obtained after the open, which the caller then releases.
void CaptureCreate(flt::CallbackData* data, const flt::RelatedObjects* objects,
                   kernel::FileNameInformation** name);
void CaptureClose(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names);
// Read, write and the MDL transfers.
void CaptureTransfer(flt::CallbackData* data, const flt::RelatedObjects* objects,
                     const CompletionNames& names);
void CaptureFlush(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names);
void CaptureSetInformation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                           const CompletionNames& names);
// Security, extended attributes, quota, volume information and file-system control.
void CaptureMetadata(flt::CallbackData* data, const flt::RelatedObjects* objects,
                     const CompletionNames& names);
void CaptureMount(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names);
void CaptureUnmount(flt::CallbackData* data, const flt::RelatedObjects* objects);

// Rename and link requests name a destination.
bool IsRenameOrLink(const flt::CallbackData* data);
// The destination of a rename or link request, with a reference of the caller's, or nullptr when
// the request's buffer is short or the platform cannot name it.
kernel::FileNameInformation* ObtainDestinationName(flt::CallbackData* data,
                                                   const flt::RelatedObjects* objects,
                                                   std::uint32_t options);

// The frame's input for a record of this operation: acting thread, volume, target file object
// and final status from the operation.
RecordInput OperationRecord(flt::CallbackData* data, const flt::RelatedObjects* objects,
                            kernel::FileNameInformation* streamName, std::uint32_t operationClass);

}  // namespace vesk::driver
