// The entry the host calls in the driver image vesk.sys (a shared object loaded with dlopen):
// the driver's own entry, under a C name the host looks up. Every platform routine the image
// calls is resolved against the host executable, which exports the Linux face.
#include "platform/fltmgr/objects.h"
#include "platform/kernel/unicode_string.h"
#include "startup/driver_entry.h"

extern "C" __attribute__((visibility("default"))) kernel::NTSTATUS VeskDriverEntry(
    flt::DriverObject* driverObject, const kernel::UnicodeString* registryPath) {
    if (registryPath == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    return vesk::driver::DriverEntry(driverObject, *registryPath);
}
