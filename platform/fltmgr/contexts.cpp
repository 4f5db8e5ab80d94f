// Contexts: one pool block each (the registration's pool type and tag), a header with the
// reference count in front of the filter's bytes.
#include <cstring>
#include <new>

#include "fltmgr_core.h"
#include "platform/fltmgr/contexts.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

namespace flt::core {

ContextHeader* HeaderOf(void* context) {
    return static_cast<ContextHeader*>(context) - 1;
}

void ReleaseContextReference(void* context) {
    ContextHeader* header = HeaderOf(context);
    const std::int32_t left = header->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left < 0) {
        kernel::BugCheck("context released more often than referenced");
    }
    if (left != 0) {
        return;
    }
    if (header->cleanup != nullptr) {
        header->cleanup(context, header->type);
    }
    {
        std::lock_guard lock(S().lock);
        S().liveContexts.erase(header);
    }
    const std::uint32_t tag = header->poolTag;
    header->~ContextHeader();
    kernel::FreePool(header, tag);
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

NTSTATUS AllocateContext(Filter* filter, ContextType type, std::uint32_t size, void** context) {
    *context = nullptr;
    const ContextRegistration* registration = filter->ContextFor(type);
    if (registration == nullptr) {
        return kernel::STATUS_FLT_CONTEXT_NOT_FOUND;
    }
    void* block = kernel::AllocatePool(registration->poolType, sizeof(ContextHeader) + size,
                                       registration->poolTag);
    if (block == nullptr) {
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* header = new (block) ContextHeader;
    header->type = type;
    header->cleanup = registration->cleanup;
    header->poolTag = registration->poolTag;
    std::memset(static_cast<void*>(header + 1), 0, size);
    {
        std::lock_guard lock(S().lock);
        S().liveContexts.insert(header);
    }
    *context = header + 1;
    return kernel::STATUS_SUCCESS;
}

void ReferenceContext(void* context) {
    HeaderOf(context)->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseContext(void* context) {
    ReleaseContextReference(context);
}

NTSTATUS SetStreamContextReplacing(Instance* instance, FileObject* fileObject, void* context,
                                   void** oldContext) {
    if (oldContext != nullptr) {
        *oldContext = nullptr;
    }
    void* replaced = nullptr;
    {
        std::lock_guard lock(S().lock);
        if (S().failStreamContexts != 0) {
            return S().failStreamContexts;
        }
        if (fileObject == nullptr || fileObject->closed || instance == nullptr ||
            !instance->attached || fileObject->volume != instance->volume) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        ReferenceContext(context);  // the stream's
        replaced = fileObject->stream->context;
        fileObject->stream->context = context;
    }
    if (replaced != nullptr) {
        // The stream's reference goes to the caller, or is dropped.
        if (oldContext != nullptr) {
            *oldContext = replaced;
        } else {
            ReleaseContextReference(replaced);
        }
    }
    return kernel::STATUS_SUCCESS;
}

NTSTATUS GetStreamContext(Instance* instance, FileObject* fileObject, void** context) {
    *context = nullptr;
    std::lock_guard lock(S().lock);
    if (fileObject == nullptr || instance == nullptr || fileObject->volume != instance->volume ||
        fileObject->stream->context == nullptr) {
        return kernel::STATUS_NOT_FOUND;
    }
    ReferenceContext(fileObject->stream->context);
    *context = fileObject->stream->context;
    return kernel::STATUS_SUCCESS;
}

NTSTATUS SetVolumeContextReplacing(Filter* filter, Volume* volume, void* context,
                                   void** oldContext) {
    if (oldContext != nullptr) {
        *oldContext = nullptr;
    }
    void* replaced = nullptr;
    {
        std::lock_guard lock(S().lock);
        if (filter == nullptr || volume == nullptr || !filter->registered) {
            return kernel::STATUS_INVALID_PARAMETER;
        }
        ReferenceContext(context);
        replaced = volume->volumeContext;
        volume->volumeContext = context;
    }
    if (replaced != nullptr) {
        if (oldContext != nullptr) {
            *oldContext = replaced;
        } else {
            ReleaseContextReference(replaced);
        }
    }
    return kernel::STATUS_SUCCESS;
}

NTSTATUS GetVolumeContext(Filter*, Volume* volume, void** context) {
    *context = nullptr;
    std::lock_guard lock(S().lock);
    if (volume == nullptr || volume->volumeContext == nullptr) {
        return kernel::STATUS_NOT_FOUND;
    }
    ReferenceContext(volume->volumeContext);
    *context = volume->volumeContext;
    return kernel::STATUS_SUCCESS;
}

}  // namespace flt
