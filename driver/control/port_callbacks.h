// The three callbacks of the driver's communication port, bound to the driver-wide state (the
// port cookie).
#pragma once

#include "core/driver_state.h"
#include "platform/kernel/port.h"

namespace vesk::driver {

kernel::PortCallbacks DriverPortCallbacks();

}  // namespace vesk::driver
