// Filters: registration, filtering, the instances they attach to volumes, and unregistration.
#include "fltmgr_core.h"
#include "platform/kernel/irql.h"

namespace flt::core {
namespace {

flt::Filter* FilteringFilterLocked() {
    for (auto& f : S().filters) {
        if (f->registered && f->filtering) {
            return f.get();
        }
    }
    return nullptr;
}

}  // namespace

void Attach(flt::Volume* volume, std::uint32_t flags) {
    flt::Filter* filter;
    flt::Instance* instance;
    {
        std::lock_guard lock(S().lock);
        filter = FilteringFilterLocked();
        if (filter == nullptr || volume->instance != nullptr || !volume->mounted ||
            volume->hostFileSystem) {
            return;  // the machine's own file system is never offered
        }
        S().instances.push_back(std::make_unique<flt::Instance>());
        instance = S().instances.back().get();
        instance->filter = filter;
        instance->volume = volume;
        ++volume->setupCalls;
        ++filter->runningCallbacks;
    }
    const flt::RelatedObjects objects{filter, volume, instance, nullptr};
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (filter->registration.instanceSetup != nullptr) {
        status = filter->registration.instanceSetup(&objects, flags, volume->spec.deviceType,
                                                    volume->spec.fileSystemType);
    }
    if (kernel::CurrentIrql() != kernel::PASSIVE_LEVEL) {
        kernel::BugCheck("instance setup returned above PASSIVE_LEVEL");
    }
    {
        std::lock_guard lock(S().lock);
        if (kernel::NtSuccess(status)) {
            instance->attached = true;
            volume->instance = instance;
        }
        --filter->runningCallbacks;
        S().changed.notify_all();
    }
    if (!kernel::NtSuccess(status)) {
        // A declined volume keeps nothing the filter set up for it.
        DeleteContextsOfVolume(volume);
    }
}

void Teardown(flt::Volume* volume, std::uint32_t reason) {
    flt::Instance* instance;
    {
        std::lock_guard lock(S().lock);
        instance = volume->instance;
        if (instance == nullptr) {
            return;
        }
    }
    flt::Filter* filter = instance->filter;
    if (filter->registration.instanceTeardownComplete != nullptr) {
        const flt::RelatedObjects objects{filter, volume, instance, nullptr};
        filter->registration.instanceTeardownComplete(&objects, reason);
    }
    {
        std::lock_guard lock(S().lock);
        instance->attached = false;
        volume->instance = nullptr;
    }
    DeleteContextsOfVolume(volume);
}

flt::Volume* AddVolume(const VolumeSpec& spec) {
    std::lock_guard lock(S().lock);
    S().volumes.push_back(std::make_unique<flt::Volume>());
    flt::Volume* volume = S().volumes.back().get();
    volume->spec = spec;
    volume->identity = S().nextVolumeIdentity++;
    volume->nameFailure = spec.nameFailure;
    volume->propertiesFailure = spec.propertiesFailure;
    return volume;
}

void MarkDismounted(flt::Volume* volume) {
    std::lock_guard lock(S().lock);
    volume->mounted = false;
}

void DeleteContextsOfVolume(flt::Volume* volume) {
    std::vector<void*> contexts;
    {
        std::lock_guard lock(S().lock);
        for (auto& stream : S().streams) {
            if (stream->volume == volume && stream->context != nullptr) {
                contexts.push_back(stream->context);
                stream->context = nullptr;
            }
        }
        if (volume->volumeContext != nullptr) {
            contexts.push_back(volume->volumeContext);
            volume->volumeContext = nullptr;
        }
    }
    for (void* context : contexts) {
        ReleaseContextReference(context);
    }
}

flt::Instance* BeginCallback(flt::Volume* volume) {
    std::lock_guard lock(S().lock);
    flt::Instance* instance = volume != nullptr ? volume->instance : nullptr;
    if (instance == nullptr || !instance->attached || !instance->filter->filtering) {
        return nullptr;
    }
    ++instance->filter->runningCallbacks;
    return instance;
}

void EndCallback(flt::Instance* instance) {
    std::lock_guard lock(S().lock);
    --instance->filter->runningCallbacks;
    S().changed.notify_all();
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

NTSTATUS RegisterFilter(DriverObject* driver, const Registration& registration, Filter** filter) {
    *filter = nullptr;
    if (driver == nullptr || registration.size != sizeof(Registration) ||
        registration.version != kRegistrationVersion) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    auto created = std::make_unique<Filter>();
    created->driver = driver;
    for (std::uint32_t i = 0; i < registration.contextCount; ++i) {
        if (created->ContextFor(registration.contexts[i].type) != nullptr) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        created->contexts.push_back(registration.contexts[i]);
    }
    for (std::uint32_t i = 0; i < registration.operationCount; ++i) {
        if (created->OperationFor(registration.operations[i].majorFunction) != nullptr) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        created->operations.push_back(registration.operations[i]);
    }
    created->registration = registration;
    created->registration.contexts = created->contexts.data();
    created->registration.operations = created->operations.data();
    std::lock_guard lock(S().lock);
    if (S().failRegister != 0) {
        return S().failRegister;
    }
    S().filters.push_back(std::move(created));
    *filter = S().filters.back().get();
    return kernel::STATUS_SUCCESS;
}

NTSTATUS StartFiltering(Filter* filter) {
    std::vector<Volume*> volumes;
    {
        std::lock_guard lock(S().lock);
        if (S().failStart != 0) {
            return S().failStart;
        }
        if (!filter->registered || filter->filtering) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        filter->filtering = true;
        for (auto& v : S().volumes) {
            if (v->mounted && v->instance == nullptr && !v->hostFileSystem) {
                volumes.push_back(v.get());
            }
        }
    }
    for (Volume* volume : volumes) {
        Attach(volume, kSetupAutomaticAttachment);
    }
    return kernel::STATUS_SUCCESS;
}

void UnregisterFilter(Filter* filter) {
    if (kernel::CurrentIrql() != kernel::PASSIVE_LEVEL) {
        kernel::BugCheck("UnregisterFilter above PASSIVE_LEVEL");
    }
    std::vector<Volume*> volumes;
    {
        std::unique_lock lock(S().lock);
        filter->filtering = false;
        S().changed.wait(lock, [filter] {
            return filter->runningCallbacks == 0 && filter->postedCompletions == 0;
        });
        for (auto& v : S().volumes) {
            if (v->instance != nullptr && v->instance->filter == filter) {
                volumes.push_back(v.get());
            }
        }
    }
    for (Volume* volume : volumes) {
        Teardown(volume, kTeardownFilterUnload);
    }
    // Contexts of volumes the filter no longer has an instance on (a declined setup, say) go too.
    std::vector<Volume*> all;
    {
        std::lock_guard lock(S().lock);
        for (auto& v : S().volumes) {
            all.push_back(v.get());
        }
    }
    for (Volume* volume : all) {
        DeleteContextsOfVolume(volume);
    }
    std::lock_guard lock(S().lock);
    filter->registered = false;
}

}  // namespace flt

