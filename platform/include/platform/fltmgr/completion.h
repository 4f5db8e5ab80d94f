// Where a post-operation callback may do real work: the platform runs the routine at once when
// the current level allows it, or posts it to a worker thread.
#pragma once

#include "platform/fltmgr/callback_data.h"

namespace flt {

using SafePostCallback = PostopStatus (*)(CallbackData* data, const RelatedObjects* objects,
                                          void* completionContext, std::uint32_t flags);

// True when the routine ran or was posted (its status is in *status once it ran in place); false
// when the platform refused, and the caller must finish the operation itself.
bool DoCompletionProcessingWhenSafe(CallbackData* data, const RelatedObjects* objects,
                                    void* completionContext, std::uint32_t flags,
                                    SafePostCallback routine, PostopStatus* status);

}  // namespace flt
