#include "capture_contexts.h"

#include <new>

#include "capture_environment.h"
#include "core/pool_tags.h"
#include "name_release.h"
#include "platform/fltmgr/contexts.h"
#include "platform/kernel/pool.h"

namespace vesk::driver {

using namespace kernel;

void ContextCleanup(void* context, flt::ContextType type) {
    if (type != flt::ContextType::Stream) {
        return;
    }
    auto* stream = static_cast<VeskStreamContext*>(context);
    FileNameInformation* name;
    {
        SpinLockGuard guard(stream->lock);
        name = stream->Name;
        stream->Name = nullptr;
    }
    ReleaseName(name);
    stream->~VeskStreamContext();
}

FileNameInformation* ReferenceStreamName(flt::Instance* instance, flt::FileObject* fileObject) {
    void* context = nullptr;
    if (fileObject == nullptr ||
        !NtSuccess(flt::GetStreamContext(instance, fileObject, &context))) {
        return nullptr;
    }
    auto* stream = static_cast<VeskStreamContext*>(context);
    FileNameInformation* name;
    {
        SpinLockGuard guard(stream->lock);
        name = stream->Name;
        if (name != nullptr) {
            ReferenceFileNameInformation(name);
        }
    }
    flt::ReleaseContext(context);
    return name;
}

NTSTATUS AttachStreamName(flt::Filter* filter, flt::Instance* instance, flt::FileObject* fileObject,
                          FileNameInformation* name) {
    void* memory = nullptr;
    NTSTATUS status =
        flt::AllocateContext(filter, flt::ContextType::Stream, sizeof(VeskStreamContext), &memory);
    if (!NtSuccess(status)) {
        return status;
    }
    auto* stream = new (memory) VeskStreamContext;
    // The context's reference is taken before the context becomes visible: a rename on another
    // thread may replace (and give back) the name the moment the context is set.
    ReferenceFileNameInformation(name);
    stream->Name = name;
    void* replaced = nullptr;
    status = flt::SetStreamContextReplacing(instance, fileObject, stream, &replaced);
    if (!NtSuccess(status)) {
        stream->Name = nullptr;  // the name stays the caller's alone
        ReleaseName(name);
    }
    flt::ReleaseContext(stream);
    if (replaced != nullptr) {
        flt::ReleaseContext(replaced);  // its cleanup gives the old name back
    }
    return status;
}

void ReplaceStreamName(flt::Instance* instance, flt::FileObject* fileObject,
                       FileNameInformation* name) {
    void* context = nullptr;
    if (!NtSuccess(flt::GetStreamContext(instance, fileObject, &context))) {
        return;
    }
    auto* stream = static_cast<VeskStreamContext*>(context);
    ReferenceFileNameInformation(name);  // the context's
    FileNameInformation* old;
    {
        SpinLockGuard guard(stream->lock);
        old = stream->Name;
        stream->Name = name;
    }
    ReleaseName(old);
    flt::ReleaseContext(context);
}

VeskOperationContext* AllocateOperationContext() {
    void* memory =
        AllocatePool(PoolType::NonPaged, sizeof(VeskOperationContext), kTagOperationContext);
    if (memory == nullptr) {
        return nullptr;
    }
    return new (memory) VeskOperationContext{nullptr, nullptr};
}

void FreeOperationContext(VeskOperationContext* context) {
    if (context == nullptr) {
        return;
    }
    ReleaseName(context->SourceName);
    ReleaseName(context->TargetName);
    FreePool(context, kTagOperationContext);
}

}  // namespace vesk::driver
