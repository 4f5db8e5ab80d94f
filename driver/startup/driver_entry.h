// The driver's skeleton: loading (registration with the filter manager, process notifications,
// the rule database, the communication port with its delivery thread, filtering) and unloading.
#pragma once

#include <cstdint>

#include "core/driver_state.h"
#include "platform/fltmgr/objects.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// The name of the port through which the engine library talks to the driver.
constexpr const char* kVeskPortName = "\\TallowmereVeskPort";

// The load entry: succeeds completely or undoes everything it did, in reverse order, so that the
// platform never keeps a callback, an allocation or a reference of an image that failed to load.
// registryPath: the service's key, below which the rule database lives.
kernel::NTSTATUS DriverEntry(flt::DriverObject* driverObject,
                             const kernel::UnicodeString& registryPath);

// The filter unload callback: takes the driver apart; never refuses.
kernel::NTSTATUS FilterUnload(std::uint32_t flags);

// The loaded driver's state, or nullptr when the driver is not loaded (for tests and benchmarks).
DriverState* LoadedDriverState();

}  // namespace vesk::driver
