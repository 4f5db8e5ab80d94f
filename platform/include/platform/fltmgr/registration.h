// Registering a filter with the filter manager: its contexts, the operations it watches with
// their pre- and post-operation callbacks, and its unload, instance-setup and teardown callbacks.
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"
#include "platform/fltmgr/objects.h"
#include "platform/kernel/pool.h"

namespace flt {

enum class ContextType : std::uint16_t { Volume = 1, Stream = 8 };

using ContextCleanupCallback = void (*)(void* context, ContextType type);

struct ContextRegistration {
    ContextType type;
    std::uint32_t size;
    kernel::PoolType poolType;
    std::uint32_t poolTag;
    ContextCleanupCallback cleanup;
};

struct OperationRegistration {
    MajorFunction majorFunction;
    std::uint32_t flags;
    PreOperationCallback pre;
    PostOperationCallback post;
};

// Registration flags.
constexpr std::uint32_t kRegistrationDoNotSupportServiceStop = 0x1;

// Instance setup flags: why the platform offers the volume.
constexpr std::uint32_t kSetupAutomaticAttachment = 0x1;
constexpr std::uint32_t kSetupManualAttachment = 0x2;
constexpr std::uint32_t kSetupNewlyMountedVolume = 0x4;

// Instance teardown reasons (flags).
constexpr std::uint32_t kTeardownFilterUnload = 0x2;
constexpr std::uint32_t kTeardownVolumeDismount = 0x8;

using FilterUnloadCallback = NTSTATUS (*)(std::uint32_t flags);
// volumeFileSystemType is the platform's file-system type number (volumes.h).
using InstanceSetupCallback = NTSTATUS (*)(const RelatedObjects* objects, std::uint32_t flags,
                                           std::uint32_t volumeDeviceType,
                                           std::uint32_t volumeFileSystemType);
using InstanceTeardownCallback = void (*)(const RelatedObjects* objects, std::uint32_t reason);

constexpr std::uint16_t kRegistrationVersion = 0x0202;

struct Registration {
    std::uint16_t size;     // sizeof(Registration)
    std::uint16_t version;  // kRegistrationVersion
    std::uint32_t flags;
    const ContextRegistration* contexts;
    std::uint32_t contextCount;
    const OperationRegistration* operations;
    std::uint32_t operationCount;
    FilterUnloadCallback unload;
    InstanceSetupCallback instanceSetup;
    InstanceTeardownCallback instanceTeardownComplete;
    // No query-teardown callback: the platform refuses requests to detach an instance by hand.
};

// STATUS_INVALID_PARAMETER for a registration of the wrong size or version, or one that names an
// operation or context twice.
NTSTATUS RegisterFilter(DriverObject* driver, const Registration& registration, Filter** filter);
// Offers the volumes that exist (instance setup) and begins calling the operation callbacks.
NTSTATUS StartFiltering(Filter* filter);
// Waits for every operation callback and posted completion of the filter to end, detaches every
// instance (teardown callbacks with kTeardownFilterUnload), deletes the filter's contexts (their
// cleanup routine runs) and forgets the filter. Callable from the filter's unload callback.
void UnregisterFilter(Filter* filter);

}  // namespace flt
