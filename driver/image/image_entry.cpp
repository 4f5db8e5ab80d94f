// The driver image's one export: the entry the platform's loader calls with the driver object and
// the service's registry path. Everything else in the image stays hidden; the platform routines
// the driver calls resolve against the program that loads it.
#include "startup/driver_entry.h"

extern "C" __attribute__((visibility("default"))) kernel::NTSTATUS DriverEntry(
    flt::DriverObject* driverObject, const kernel::UnicodeString* registryPath) {
    if (driverObject == nullptr || registryPath == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    return vesk::driver::DriverEntry(driverObject, *registryPath);
}
