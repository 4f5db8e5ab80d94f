// What every capture path reaches: the driver-wide state, the rule table and the filter. The load
// sets it before it registers anything that could call back, and the unload clears it only after
// the platform promised that no callback runs any more; callbacks therefore always find it set.
#pragma once

#include "core/driver_state.h"
#include "platform/fltmgr/objects.h"

namespace vesk::driver {

class RuleTable;

struct CaptureEnvironment {
    DriverState* driver = nullptr;
    RuleTable* rules = nullptr;
    flt::Filter* filter = nullptr;
};

// The one environment of the loaded driver.
CaptureEnvironment& Environment();

// Whether capture is on: the client activated it and is connected. Read without a lock; a change
// takes effect for operations that start after it. Costs two flag tests.
inline bool CaptureGateOpen(const DriverState& driver) {
    return driver.connection.IsActive() && driver.connection.HasClient();
}

}  // namespace vesk::driver
