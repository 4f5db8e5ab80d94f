// The pre- and post-operation callbacks the driver registers for every operation it watches.
#pragma once

#include "platform/fltmgr/callback_data.h"

namespace vesk::driver {

// Captures what can only be learned before the operation runs (names) and asks for the
// post-operation call; with the capture gate closed it asks for nothing and allocates nothing.
flt::PreopStatus VeskPreOperation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                                  void** completionContext);

// Hands the completion step to the platform to run where it is safe; an operation being drained,
// or one the platform will not post, is not reported and only gives back what it held.
flt::PostopStatus VeskPostOperation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                                    void* completionContext, std::uint32_t flags);

}  // namespace vesk::driver
