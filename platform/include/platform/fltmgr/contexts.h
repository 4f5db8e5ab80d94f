// Contexts: a filter's own data attached to a stream or a volume. Each Get/Allocate returns a
// referenced context that the filter releases with ReleaseContext; the cleanup routine of its
// registration runs, and the memory goes back to the pool, when the last reference goes. The
// platform holds one reference of its own while a context is set; it drops it when the context
// is replaced, or when the stream or the instance goes away.
#pragma once

#include "platform/fltmgr/objects.h"
#include "platform/fltmgr/registration.h"

namespace flt {

// size bytes, zeroed, from the pool type and tag of the type's registration.
// STATUS_FLT_CONTEXT_NOT_FOUND for a type the filter did not register;
// STATUS_INSUFFICIENT_RESOURCES.
NTSTATUS AllocateContext(Filter* filter, ContextType type, std::uint32_t size, void** context);
void ReferenceContext(void* context);
void ReleaseContext(void* context);

// Sets the stream context of the file object's stream, replacing one that exists; the replaced
// context comes back referenced in *oldContext (nullptr when there was none). oldContext may be
// nullptr when the caller does not want it.
NTSTATUS SetStreamContextReplacing(Instance* instance, FileObject* fileObject, void* context,
                                   void** oldContext);
// STATUS_NOT_FOUND when the stream has none.
NTSTATUS GetStreamContext(Instance* instance, FileObject* fileObject, void** context);

NTSTATUS SetVolumeContextReplacing(Filter* filter, Volume* volume, void* context,
                                   void** oldContext);
// STATUS_NOT_FOUND when the volume has none.
NTSTATUS GetVolumeContext(Filter* filter, Volume* volume, void** context);

}  // namespace flt
