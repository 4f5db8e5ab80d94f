// What the driver registers with the filter manager.
#pragma once

#include "platform/fltmgr/registration.h"

namespace vesk::driver {

// Service stop not supported (the driver is unloaded through the filter manager only); the stream
// and volume contexts; the nineteen watched operations, all with the same pre- and
// post-operation callbacks; unload, instance setup and teardown-complete callbacks.
const flt::Registration& FilterRegistration();

}  // namespace vesk::driver
