// The driver's contexts: the per-stream name cache, the per-volume file-system type and the
// per-operation names handed from the pre-operation to the completion step.
#pragma once

#include <cstdint>

#include "platform/fltmgr/objects.h"
#include "platform/fltmgr/registration.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

// One per open stream (non-paged, "Fscx"): the name the stream's most recent successful create
// established, replaced when a rename or link moves the stream. Readers take their own reference
// under the lock and the replacer exchanges the pointer under it, so no reader can reference a
// record whose last reference the replacer is giving back at that moment; releases happen after
// the lock is dropped.
struct VeskStreamContext {
    kernel::SpinLock lock;
    kernel::FileNameInformation* Name;  // one reference, or nullptr; protected by lock
};

// One per attached volume (non-pageable, "Fvcx"): the file-system type code of the wire.
struct VeskVolumeContext {
    std::uint32_t FileSystemType;
};

// One per operation in flight other than create (non-paged, "Fopc").
struct VeskOperationContext {
    kernel::FileNameInformation* SourceName;  // the stream's name, referenced, or nullptr
    kernel::FileNameInformation* TargetName;  // rename and link: the destination, or nullptr
};

// The cleanup routine of both context types: a stream context gives back its name.
void ContextCleanup(void* context, flt::ContextType type);

// The stream's cached name with a reference of the caller's own, or nullptr.
kernel::FileNameInformation* ReferenceStreamName(flt::Instance* instance,
                                                 flt::FileObject* fileObject);

// A create's name becomes the stream's: a new context, replacing any the stream had (whose
// cleanup gives the old name back). The context takes a reference of its own; the caller keeps
// its one.
kernel::NTSTATUS AttachStreamName(flt::Filter* filter, flt::Instance* instance,
                                  flt::FileObject* fileObject, kernel::FileNameInformation* name);

// A rename or link moves the stream: the context takes a reference on name and gives back the
// one it held. Does nothing when the stream has no context.
void ReplaceStreamName(flt::Instance* instance, flt::FileObject* fileObject,
                       kernel::FileNameInformation* name);

// Operation contexts: zeroed on allocation; freeing gives back both names.
VeskOperationContext* AllocateOperationContext();
void FreeOperationContext(VeskOperationContext* context);

}  // namespace vesk::driver
