// Process records: the start and the end of every process, with its id, the id of the process it
// was inherited from and its image name, while capture is on and the client asked for them.
#pragma once

#include "platform/kernel/status.h"

namespace vesk::driver {

// Registers the extended routine when the running system offers it, else the basic one. On
// failure nothing stays registered (there is no fall-back from a refused extended registration to
// the basic one) and the failure is returned; the driver then runs without process records.
kernel::NTSTATUS RegisterProcessNotifications();

// Removes the routine with the same function that registered it; returns once no call of it can
// still be running. Harmless when none is registered.
void UnregisterProcessNotifications();

}  // namespace vesk::driver
