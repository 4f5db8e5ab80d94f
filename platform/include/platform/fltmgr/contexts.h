// Contexts: a filter's own data attached to a stream or a volume. Each Get/Allocate returns a
// referenced context that the filter releases with ReleaseContext; the cleanup routine of its
// registration runs when the last reference goes.
#pragma once

#include "platform/fltmgr/objects.h"
#include "platform/fltmgr/registration.h"

namespace flt {

NTSTATUS AllocateContext(Filter* filter, ContextType type, std::uint32_t size, void** context);
void ReleaseContext(void* context);

// Sets the stream context of the file object's stream, replacing one that exists; the replaced
// context comes back referenced in *oldContext (nullptr when there was none).
NTSTATUS SetStreamContextReplacing(Instance* instance, FileObject* fileObject, void* context,
                                   void** oldContext);
NTSTATUS GetStreamContext(Instance* instance, FileObject* fileObject, void** context);

NTSTATUS SetVolumeContextReplacing(Volume* volume, void* context, void** oldContext);
NTSTATUS GetVolumeContext(Filter* filter, Volume* volume, void** context);

}  // namespace flt
