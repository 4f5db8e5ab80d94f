#include "driver_entry.h"

#include <new>

#include "capture/capture_environment.h"
#include "control/port_callbacks.h"
#include "filter_registration.h"
#include "names/resolve_name.h"
#include "platform/fltmgr/registration.h"
#include "platform/kernel/port.h"
#include "port_security.h"
#include "process/process_notify.h"
#include "rules/rule_table.h"

namespace vesk::driver {

using namespace kernel;

namespace {

// Driver-wide state: created at load, destroyed at unload. It lives in the image, not the pool.
struct LoadedDriver {
    flt::DriverObject* driverObject = nullptr;
    flt::Filter* filter = nullptr;
    ServerPort* serverPort = nullptr;
    DriverState state;
    RuleTable rules;
    NameResolver names;
};

alignas(LoadedDriver) unsigned char storage[sizeof(LoadedDriver)];
LoadedDriver* loaded = nullptr;  // written by load and unload only, which run alone

void Destroy(LoadedDriver* driver) {
    Environment() = CaptureEnvironment{};
    driver->~LoadedDriver();
    loaded = nullptr;
}

// Capture off, options and categories cleared, excluded threads released; the delivery thread
// stopped and the queue drained; the client's port closed, then the server port.
void StopPortAndDelivery(LoadedDriver* driver) {
    driver->state.connection.Shutdown();
    driver->state.queue.StopDelivery();
    CloseClientPort(driver->state.connection.PortSlot());
    if (driver->serverPort != nullptr) {
        CloseCommunicationPort(driver->serverPort);
        driver->serverPort = nullptr;
    }
}

NTSTATUS StartPortAndDelivery(LoadedDriver* driver) {
    PortSecurity security;
    NTSTATUS status = BuildPortSecurity(&security);
    if (!NtSuccess(status)) {
        return status;
    }
    status = CreateCommunicationPort(kVeskPortName, kObjKernelHandle, &security.descriptor,
                                     &driver->state, DriverPortCallbacks(), 1, &driver->serverPort);
    if (NtSuccess(status)) {
        status = driver->state.queue.StartDelivery(driver->state.connection.PortSlot());
    }
    FreePortSecurity(&security);  // the port keeps its own copy
    if (!NtSuccess(status)) {
        StopPortAndDelivery(driver);
    }
    return status;
}

}  // namespace

NTSTATUS DriverEntry(flt::DriverObject* driverObject, const UnicodeString& registryPath) {
    if (loaded != nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    LoadedDriver* driver = new (storage) LoadedDriver;
    loaded = driver;
    driver->driverObject = driverObject;
    driver->state.rules = &driver->rules;
    driver->state.names = &driver->names;
    // Set before anything that can call back is registered.
    Environment() = CaptureEnvironment{&driver->state, &driver->rules, nullptr};

    NTSTATUS status = flt::RegisterFilter(driverObject, FilterRegistration(), &driver->filter);
    if (!NtSuccess(status)) {
        Destroy(driver);
        return status;
    }
    Environment().filter = driver->filter;

    // Without process notifications the driver still runs; it reports no process records.
    (void)RegisterProcessNotifications();

    driver->state.statistics.Reset();
    status = driver->rules.LoadDatabase(registryPath);
    if (NtSuccess(status)) {
        status = StartPortAndDelivery(driver);
        if (NtSuccess(status)) {
            status = flt::StartFiltering(driver->filter);
            if (NtSuccess(status)) {
                return STATUS_SUCCESS;
            }
            StopPortAndDelivery(driver);
        }
    }
    driver->rules.FreeTable();
    UnregisterProcessNotifications();
    flt::UnregisterFilter(driver->filter);
    Destroy(driver);
    return status;
}

NTSTATUS FilterUnload(std::uint32_t) {
    LoadedDriver* driver = loaded;
    if (driver == nullptr) {
        return STATUS_SUCCESS;
    }
    driver->state.connection.Shutdown();
    driver->rules.FreeTable();
    StopPortAndDelivery(driver);
    UnregisterProcessNotifications();
    flt::UnregisterFilter(driver->filter);
    // Operations that were in flight while delivery stopped may have queued messages or deferred
    // name releases since; no callback runs any more, so this drain is the last.
    driver->state.queue.Drain();
    Destroy(driver);
    return STATUS_SUCCESS;
}

DriverState* LoadedDriverState() {
    return loaded != nullptr ? &loaded->state : nullptr;
}

}  // namespace vesk::driver
