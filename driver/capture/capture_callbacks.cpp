#include "capture_callbacks.h"

#include "capture_contexts.h"
#include "capture_environment.h"
#include "class_captures.h"
#include "name_release.h"
#include "object_name.h"
#include "platform/fltmgr/completion.h"
#include "platform/fltmgr/names.h"

namespace vesk::driver {

using namespace kernel;

namespace {

bool IsCreateClass(flt::MajorFunction major) {
    return major == flt::MajorFunction::Create || major == flt::MajorFunction::NetworkQueryOpen;
}

// Gives back everything a completion context holds (create: its one name).
void ReleaseCompletionContext(flt::MajorFunction major, void* context) {
    if (IsCreateClass(major)) {
        ReleaseName(static_cast<FileNameInformation*>(context));
    } else {
        FreeOperationContext(static_cast<VeskOperationContext*>(context));
    }
}

flt::PostopStatus CompletionStep(flt::CallbackData* data, const flt::RelatedObjects* objects,
                                 void* context, std::uint32_t) {
    const flt::MajorFunction major = data->iopb->majorFunction;
    if (IsCreateClass(major)) {
        auto* name = static_cast<FileNameInformation*>(context);
        CaptureCreate(data, objects, &name);
        ReleaseName(name);
        return flt::PostopStatus::FinishedProcessing;
    }
    auto* operation = static_cast<VeskOperationContext*>(context);
    const CompletionNames names{operation != nullptr ? operation->SourceName : nullptr,
                                operation != nullptr ? operation->TargetName : nullptr};
    switch (major) {
        case flt::MajorFunction::Cleanup:
        case flt::MajorFunction::Close:
            CaptureClose(data, objects, names);
            break;
        case flt::MajorFunction::Read:
        case flt::MajorFunction::Write:
        case flt::MajorFunction::MdlRead:
        case flt::MajorFunction::MdlReadComplete:
        case flt::MajorFunction::PrepareMdlWrite:
        case flt::MajorFunction::MdlWriteComplete:
            CaptureTransfer(data, objects, names);
            break;
        case flt::MajorFunction::FlushBuffers:
            CaptureFlush(data, objects, names);
            break;
        case flt::MajorFunction::SetInformation:
            CaptureSetInformation(data, objects, names);
            break;
        case flt::MajorFunction::SetSecurity:
        case flt::MajorFunction::SetEa:
        case flt::MajorFunction::SetQuota:
        case flt::MajorFunction::SetVolumeInformation:
        case flt::MajorFunction::FileSystemControl:
            CaptureMetadata(data, objects, names);
            break;
        case flt::MajorFunction::VolumeMount:
            CaptureMount(data, objects, names);
            break;
        case flt::MajorFunction::VolumeDismount:
            CaptureUnmount(data, objects);
            break;
        default:
            break;
    }
    FreeOperationContext(operation);
    return flt::PostopStatus::FinishedProcessing;
}

}  // namespace

flt::PreopStatus VeskPreOperation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                                  void** completionContext) {
    *completionContext = nullptr;
    if (!CaptureGateOpen(*Environment().driver)) {
        return flt::PreopStatus::SuccessNoCallback;
    }
    const bool network = IsNetworkVolume(objects->volume);
    if (IsCreateClass(data->iopb->majorFunction)) {
        FileNameInformation* name = nullptr;
        if (NtSuccess(flt::GetFileNameInformation(data, NameQueryOptions(false, network), &name))) {
            *completionContext = name;
        }
        return flt::PreopStatus::SuccessWithCallback;
    }
    VeskOperationContext* operation = AllocateOperationContext();
    if (operation == nullptr) {
        return flt::PreopStatus::SuccessWithCallback;
    }
    operation->SourceName = ReferenceStreamName(objects->instance, data->iopb->targetFileObject);
    if (IsRenameOrLink(data)) {
        operation->TargetName =
            ObtainDestinationName(data, objects, NameQueryOptions(false, network));
    }
    if (operation->SourceName == nullptr && operation->TargetName == nullptr) {
        FreeOperationContext(operation);
        return flt::PreopStatus::SuccessWithCallback;
    }
    *completionContext = operation;
    return flt::PreopStatus::SuccessWithCallback;
}

flt::PostopStatus VeskPostOperation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                                    void* completionContext, std::uint32_t flags) {
    if ((flags & flt::kPostopDraining) == 0) {
        flt::PostopStatus status;
        if (flt::DoCompletionProcessingWhenSafe(data, objects, completionContext, flags,
                                                &CompletionStep, &status)) {
            return status;
        }
    }
    ReleaseCompletionContext(data->iopb->majorFunction, completionContext);
    return flt::PostopStatus::FinishedProcessing;
}

RecordInput OperationRecord(flt::CallbackData* data, const flt::RelatedObjects* objects,
                            FileNameInformation* streamName, std::uint32_t operationClass) {
    RecordInput input;
    input.actingThread = data->thread;
    input.volume = objects->volume;
    input.data = data;
    input.streamName = streamName;
    input.operationClass = operationClass;
    input.status = data->ioStatus.status;
    flt::FileObject* target = data->iopb->targetFileObject;
    input.fileObjectId = target != nullptr ? flt::FileObjectIdentity(target) : 0;
    return input;
}

}  // namespace vesk::driver
