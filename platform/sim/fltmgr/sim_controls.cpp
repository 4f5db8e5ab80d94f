// The simulated filter manager's controls over the shared object model: volumes a test mounts
// and dismounts, file objects it opens, the operations it injects, and what it asks back.
#include "fltmgr_core.h"
#include "sim_fltmgr.h"

namespace sim {

using namespace flt::core;
void FilterManager::FailOpen(const std::u16string& name, kernel::NTSTATUS status) {
    std::lock_guard lock(flt::core::S().lock);
    if (status == 0) {
        flt::core::S().failOpen.erase(flt::core::Upper(name));
    } else {
        flt::core::S().failOpen[flt::core::Upper(name)] = status;
    }
}

std::vector<std::uint32_t> FilterManager::NameQueryOptions() {
    std::lock_guard lock(S().lock);
    return S().nameQueryOptions;
}

void FilterManager::ClearNameQueryOptions() {
    std::lock_guard lock(S().lock);
    S().nameQueryOptions.clear();
}

flt::FileObject* FilterManager::OpenFileObject(flt::Volume* volume, const std::u16string& name) {
    flt::FileObject* fileObject = flt::core::OpenFileObject(volume, name);
    std::lock_guard lock(S().lock);
    fileObject->testReference = true;
    return fileObject;
}

void FilterManager::CloseFileObject(flt::FileObject* fileObject) {
    {
        std::lock_guard lock(S().lock);
        if (!fileObject->testReference) {
            kernel::BugCheck("a test closed a file object it did not open");
        }
        fileObject->testReference = false;
    }
    DropFileObjectReference(fileObject);
}

std::u16string FilterManager::NameOf(flt::FileObject* fileObject) {
    std::lock_guard lock(S().lock);
    return fileObject->stream->name;
}

void FilterManager::SetStreamName(flt::FileObject* fileObject, const std::u16string& name) {
    std::lock_guard lock(S().lock);
    fileObject->stream->name = name;
}

void FilterManager::SetOpenedName(flt::FileObject* fileObject, const std::u16string& name) {
    std::lock_guard lock(S().lock);
    fileObject->openedName = name;
}

bool FilterManager::HasStreamContext(flt::FileObject* fileObject) {
    std::lock_guard lock(S().lock);
    return fileObject->stream->context != nullptr;
}

bool FilterManager::HasVolumeContext(flt::Volume* volume) {
    std::lock_guard lock(S().lock);
    return volume->volumeContext != nullptr;
}

flt::DriverObject* FilterManager::DriverObject() {
    return &S().driverObject;
}

flt::Filter* FilterManager::RegisteredFilter() {
    std::lock_guard lock(S().lock);
    for (auto& f : S().filters) {
        if (f->registered) {
            return f.get();
        }
    }
    return nullptr;
}

const flt::Registration* FilterManager::RegistrationOf(flt::Filter* filter) {
    return &filter->registration;
}

bool FilterManager::IsFiltering(flt::Filter* filter) {
    std::lock_guard lock(S().lock);
    return filter->registered && filter->filtering;
}

kernel::NTSTATUS FilterManager::UnloadFilter(flt::Filter* filter) {
    if (filter->registration.unload == nullptr) {
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    }
    return filter->registration.unload(0);
}

flt::Volume* FilterManager::MountVolume(const VolumeSpec& spec) {
    flt::Volume* volume = AddVolume(spec);
    Attach(volume, flt::kSetupNewlyMountedVolume);
    return volume;
}

void FilterManager::DismountVolume(flt::Volume* volume) {
    Teardown(volume, flt::kTeardownVolumeDismount);
    MarkDismounted(volume);
}

void FilterManager::TeardownInstance(flt::Volume* volume, std::uint32_t reason) {
    Teardown(volume, reason);
}

flt::Instance* FilterManager::InstanceOf(flt::Volume* volume) {
    std::lock_guard lock(S().lock);
    return volume->instance;
}

std::uint32_t FilterManager::SetupCalls(flt::Volume* volume) {
    std::lock_guard lock(S().lock);
    return volume->setupCalls;
}

void FilterManager::SetRoutineAvailable(const char* name, bool available) {
    std::lock_guard lock(S().lock);
    if (available) {
        S().missingRoutines.erase(name);
    } else {
        S().missingRoutines.insert(name);
    }
}

void FilterManager::FailVolumeName(flt::Volume* volume, kernel::NTSTATUS status) {
    volume->nameFailure = status;
}

void FilterManager::FailVolumeProperties(flt::Volume* volume, kernel::NTSTATUS status) {
    volume->propertiesFailure = status;
}

Outcome FilterManager::Run(Operation& operation) {
    return RunOperation(operation);
}

void FilterManager::SetSafeCompletion(SafeCompletion mode) {
    std::lock_guard lock(S().lock);
    S().completionMode = mode;
}

void FilterManager::WaitForPostedCompletions() {
    std::unique_lock lock(S().lock);
    S().changed.wait(lock, [] {
        for (auto& f : S().filters) {
            if (f->postedCompletions != 0) {
                return false;
            }
        }
        return true;
    });
}

}  // namespace sim
