// Registering a filter with the filter manager: its contexts, the operations it watches with
// their pre- and post-operation callbacks, and its unload, instance-setup and teardown callbacks.
#pragma once

#include <cstdint>

#include "platform/fltmgr/callback_data.h"
#include "platform/fltmgr/objects.h"
#include "platform/kernel/pool.h"

namespace flt {

class DriverObject;  // the image the platform loaded; opaque

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

// Instance teardown reasons (flags).
constexpr std::uint32_t kTeardownFilterUnload = 0x2;
constexpr std::uint32_t kTeardownVolumeDismount = 0x8;

using FilterUnloadCallback = NTSTATUS (*)(std::uint32_t flags);
using InstanceSetupCallback = NTSTATUS (*)(const RelatedObjects* objects, std::uint32_t flags,
                                           std::uint32_t volumeDeviceType,
                                           std::uint32_t volumeFileSystemType);
using InstanceTeardownCallback = void (*)(const RelatedObjects* objects, std::uint32_t reason);

struct Registration {
    std::uint32_t flags;  // 1: the filter cannot be stopped through the service manager
    const ContextRegistration* contexts;
    std::uint32_t contextCount;
    const OperationRegistration* operations;
    std::uint32_t operationCount;
    FilterUnloadCallback unload;
    InstanceSetupCallback instanceSetup;
    InstanceTeardownCallback instanceTeardownComplete;
};

NTSTATUS RegisterFilter(DriverObject* driver, const Registration& registration, Filter** filter);
NTSTATUS StartFiltering(Filter* filter);
// Detaches every instance (teardown callbacks with kTeardownFilterUnload) and forgets the filter.
void UnregisterFilter(Filter* filter);

}  // namespace flt
