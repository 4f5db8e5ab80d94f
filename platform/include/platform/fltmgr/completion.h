// Where a post-operation callback may do real work: the platform runs the routine at once when
// the current level allows it, or posts it to a worker thread. A posted routine runs at
// PASSIVE_LEVEL on a system thread, so the operation's own thread is only known from its data.
#pragma once

#include "platform/fltmgr/callback_data.h"

namespace flt {

using SafePostCallback = PostopStatus (*)(CallbackData* data, const RelatedObjects* objects,
                                          void* completionContext, std::uint32_t flags);

// True when the routine ran (its status is in *status) or was posted (*status is
// MoreProcessingRequired and the platform completes the operation after the routine ran); false
// when the platform refused (a fast-I/O operation at DISPATCH_LEVEL, say), and the caller must
// finish the operation itself.
bool DoCompletionProcessingWhenSafe(CallbackData* data, const RelatedObjects* objects,
                                    void* completionContext, std::uint32_t flags,
                                    SafePostCallback routine, PostopStatus* status);

}  // namespace flt
