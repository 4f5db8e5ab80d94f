// Injected operations: the filter's pre- and post-operation callbacks around the file system, and
// safe completion, in place or on the worker thread.
#include <cstddef>

#include "fltmgr_core.h"
#include "platform/fltmgr/buffers.h"
#include "platform/fltmgr/completion.h"
#include "platform/kernel/irql.h"

namespace flt::core {

namespace {

bool IsFastIo(flt::MajorFunction major) {
    switch (major) {
        case flt::MajorFunction::NetworkQueryOpen:
        case flt::MajorFunction::MdlRead:
        case flt::MajorFunction::MdlReadComplete:
        case flt::MajorFunction::PrepareMdlWrite:
        case flt::MajorFunction::MdlWriteComplete:
            return true;
        default:
            return false;
    }
}

// Runs fn at level (never lower than the caller's) and checks the callback came back at it.
template <typename Fn>
auto AtLevel(kernel::KIRQL level, Fn fn) {
    const kernel::KIRQL before = kernel::CurrentIrql();
    const bool raise = level > before;
    const kernel::KIRQL old = raise ? kernel::RaiseIrql(level) : before;
    const kernel::KIRQL inside = kernel::CurrentIrql();
    auto result = fn();
    if (kernel::CurrentIrql() != inside) {
        kernel::BugCheck("a callback returned at another IRQL than it was called at");
    }
    if (raise) {
        kernel::LowerIrql(old);
    }
    return result;
}

// What the file system does besides completing: a successful rename moves the stream's name.
void ApplySideEffects(Operation& op) {
    const flt::IoParameterBlock& iopb = op.iopb;
    if (iopb.majorFunction != flt::MajorFunction::SetInformation || op.fileObject == nullptr ||
        !kernel::NtSuccess(op.data.ioStatus.status) ||
        iopb.parameters.setInformation.informationClass != flt::FileRenameInformation) {
        return;
    }
    const auto& info = iopb.parameters.setInformation;
    if (info.infoBuffer == nullptr || info.length < offsetof(flt::RenameInformation, fileName)) {
        return;
    }
    const auto* rename = static_cast<const flt::RenameInformation*>(info.infoBuffer);
    if (info.length - offsetof(flt::RenameInformation, fileName) < rename->fileNameLength) {
        return;
    }
    const std::u16string target = DestinationName(op.fileObject, rename->rootDirectory,
                                                  rename->fileName, rename->fileNameLength);
    if (!target.empty()) {
        std::lock_guard lock(S().lock);
        op.fileObject->stream->name = target;
    }
}

void WorkerLoop() {
    for (;;) {
        std::unique_ptr<PostedCompletion> item;
        {
            std::unique_lock lock(S().lock);
            S().changed.wait(lock, [] { return S().workerStop || !S().posted.empty(); });
            if (S().posted.empty()) {
                return;
            }
            item = std::move(S().posted.front());
            S().posted.pop_front();
        }
        AtLevel(kernel::PASSIVE_LEVEL, [&] {
            return item->routine(&item->data, &item->objects, item->completionContext, item->flags);
        });
        FreeLockedMdls(&item->data);
        std::lock_guard lock(S().lock);
        --item->filter->postedCompletions;
        S().changed.notify_all();
    }
}

}  // namespace

void RunWorker() {
    WorkerLoop();
}

Operation::Operation(flt::MajorFunction major, flt::FileObject* file)
    : volume(file->volume), fileObject(file) {
    iopb.majorFunction = major;
    data.iopb = &iopb;
    data.flags = IsFastIo(major) ? flt::kFlagFastIo : flt::kFlagIrpOperation;
}

Operation::Operation(flt::MajorFunction major, flt::Volume* onVolume) : volume(onVolume) {
    iopb.majorFunction = major;
    data.iopb = &iopb;
    data.flags = IsFastIo(major) ? flt::kFlagFastIo : flt::kFlagIrpOperation;
}

Outcome RunOperation(Operation& op) {
    op.iopb.targetFileObject = op.fileObject;
    if (op.data.thread == nullptr) {
        op.data.thread = kernel::CurrentThread();
    }
    flt::Instance* instance = BeginCallback(op.volume);
    const flt::OperationRegistration* registration =
        instance != nullptr ? instance->filter->OperationFor(op.iopb.majorFunction) : nullptr;
    if (registration == nullptr) {
        op.data.ioStatus = {op.finalStatus, op.information};
        if (op.fileSystem) {
            op.fileSystem(op.data);
        }
        ApplySideEffects(op);
        if (instance != nullptr) {
            EndCallback(instance);
        }
        return Outcome::NotFiltered;
    }
    op.iopb.targetInstance = instance;
    const flt::RelatedObjects objects{instance->filter, op.volume, instance, op.fileObject};

    void* context = nullptr;
    const flt::PreopStatus pre =
        registration->pre == nullptr
            ? flt::PreopStatus::SuccessNoCallback
            : AtLevel(op.preIrql, [&] { return registration->pre(&op.data, &objects, &context); });

    op.data.ioStatus = {op.finalStatus, op.information};
    if (op.fileSystem) {
        op.fileSystem(op.data);
    }
    ApplySideEffects(op);

    Outcome outcome = Outcome::NoCallback;
    if (pre == flt::PreopStatus::SuccessWithCallback && registration->post != nullptr) {
        const std::uint32_t flags = op.draining ? flt::kPostopDraining : 0;
        const flt::PostopStatus post = AtLevel(
            op.postIrql, [&] { return registration->post(&op.data, &objects, context, flags); });
        outcome = post == flt::PostopStatus::MoreProcessingRequired ? Outcome::Posted
                                                                    : Outcome::Completed;
    }
    FreeLockedMdls(&op.data);
    EndCallback(instance);
    return outcome;
}

void FreeLockedMdls(const flt::CallbackData* data) {
    std::vector<std::unique_ptr<flt::Mdl>> mdls;
    {
        std::lock_guard lock(S().lock);
        auto it = S().lockedMdls.find(data);
        if (it == S().lockedMdls.end()) {
            return;
        }
        mdls = std::move(it->second);
        S().lockedMdls.erase(it);
    }
}

State::~State() {
    {
        std::lock_guard guard(lock);
        workerStop = true;
        changed.notify_all();
    }
    if (worker.joinable()) {
        worker.join();
    }
}

void StopWorker() {
    {
        std::lock_guard lock(S().lock);
        S().workerStop = true;
        S().changed.notify_all();
    }
    if (S().worker.joinable()) {
        S().worker.join();
    }
    std::lock_guard lock(S().lock);
    S().workerStop = false;
}

}  // namespace flt::core

namespace flt {

using namespace flt::core;

bool DoCompletionProcessingWhenSafe(CallbackData* data, const RelatedObjects* objects,
                                    void* completionContext, std::uint32_t flags,
                                    SafePostCallback routine, PostopStatus* status) {
    SafeCompletion mode;
    {
        std::lock_guard lock(S().lock);
        mode = S().completionMode;
    }
    if (mode == SafeCompletion::Refuse) {
        return false;
    }
    const bool high = kernel::CurrentIrql() >= kernel::DISPATCH_LEVEL;
    if (mode == SafeCompletion::Automatic && !high) {
        *status = routine(data, objects, completionContext, flags);
        return true;
    }
    if (mode == SafeCompletion::Automatic && (data->flags & kFlagFastIo) != 0) {
        return false;  // fast I/O cannot be posted
    }
    auto item = std::make_unique<PostedCompletion>();
    item->iopb = *data->iopb;
    item->data = *data;
    item->data.iopb = &item->iopb;
    item->objects = *objects;
    item->completionContext = completionContext;
    item->flags = flags;
    item->routine = routine;
    item->filter = objects->filter;
    {
        std::lock_guard lock(S().lock);
        // Descriptors locked for the operation so far now belong to the posted copy.
        auto it = S().lockedMdls.find(data);
        if (it != S().lockedMdls.end()) {
            S().lockedMdls[&item->data] = std::move(it->second);
            S().lockedMdls.erase(it);
        }
        ++objects->filter->postedCompletions;
        S().posted.push_back(std::move(item));
        if (!S().worker.joinable()) {
            S().worker = std::thread(RunWorker);
        }
        S().changed.notify_all();
    }
    *status = PostopStatus::MoreProcessingRequired;
    return true;
}

NTSTATUS DecodeParameters(CallbackData* data, Mdl** mdl, void** buffer, std::uint32_t* length) {
    IoParameterBlock& iopb = *data->iopb;
    switch (iopb.majorFunction) {
        case MajorFunction::Read:
        case MajorFunction::Write:
            *mdl = iopb.parameters.transfer.mdlAddress;
            *buffer = iopb.parameters.transfer.buffer;
            *length = iopb.parameters.transfer.length;
            return kernel::STATUS_SUCCESS;
        case MajorFunction::MdlRead:
        case MajorFunction::MdlReadComplete:
        case MajorFunction::PrepareMdlWrite:
        case MajorFunction::MdlWriteComplete:
            *mdl = iopb.parameters.mdlTransfer.mdlChain;
            *buffer = nullptr;
            *length = iopb.parameters.mdlTransfer.length;
            return kernel::STATUS_SUCCESS;
        default:
            return kernel::STATUS_INVALID_PARAMETER;
    }
}

NTSTATUS LockUserBuffer(CallbackData* data) {
    IoParameterBlock& iopb = *data->iopb;
    if (iopb.majorFunction != MajorFunction::Read && iopb.majorFunction != MajorFunction::Write) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    TransferParameters& transfer = iopb.parameters.transfer;
    if (transfer.mdlAddress != nullptr) {
        return kernel::STATUS_SUCCESS;
    }
    if (transfer.buffer == nullptr) {
        return kernel::STATUS_INVALID_PARAMETER;
    }
    auto mdl = std::make_unique<Mdl>(Mdl{nullptr, transfer.buffer, transfer.length});
    transfer.mdlAddress = mdl.get();
    std::lock_guard lock(S().lock);
    S().lockedMdls[data].push_back(std::move(mdl));
    return kernel::STATUS_SUCCESS;
}

void* MapLockedPages(Mdl* mdl) {
    {
        std::lock_guard lock(S().lock);
        if (S().failMdlMapping) {
            return mdl->mappedSystemVa;
        }
    }
    if (mdl->mappedSystemVa == nullptr) {
        mdl->mappedSystemVa = mdl->pages;
    }
    return mdl->mappedSystemVa;
}

}  // namespace flt
