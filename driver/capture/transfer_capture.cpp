// Reads, writes, the MDL fast-I/O pairs and flushes. The only records whose data can travel to
// user mode: when the transfer moved bytes and succeeded, and the client did not turn data off,
// the bytes go along, at most 64 MiB per message.
#include <algorithm>

#include "capture_environment.h"
#include "class_captures.h"
#include "platform/fltmgr/buffers.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

namespace {

struct TransferRequest {
    std::uint32_t operationClass;
    wire::TransferPayload payload;
};

TransferRequest DescribeTransfer(const flt::CallbackData* data) {
    const flt::IoParameterBlock& iopb = *data->iopb;
    TransferRequest request{};
    wire::TransferPayload& p = request.payload;
    const auto& transfer = iopb.parameters.transfer;
    const auto& mdl = iopb.parameters.mdlTransfer;
    switch (iopb.majorFunction) {
        case flt::MajorFunction::Read:
        case flt::MajorFunction::Write:
            p.Kind = wire::VeskTransferRequest;
            p.Offset = transfer.byteOffset;
            p.RequestedLength = transfer.length;
            p.Key = transfer.key;
            break;
        case flt::MajorFunction::MdlRead:
        case flt::MajorFunction::PrepareMdlWrite:
            p.Kind = wire::VeskTransferMdlStarted;
            p.Offset = mdl.fileOffset;
            p.RequestedLength = mdl.length;
            p.Key = mdl.key;
            break;
        case flt::MajorFunction::MdlWriteComplete:
            p.Kind = wire::VeskTransferMdlCompleted;
            p.Offset = mdl.fileOffset;
            break;
        default:  // MDL read complete carries nothing of its own
            p.Kind = wire::VeskTransferMdlCompleted;
            break;
    }
    const bool read = iopb.majorFunction == flt::MajorFunction::Read ||
                      iopb.majorFunction == flt::MajorFunction::MdlRead ||
                      iopb.majorFunction == flt::MajorFunction::MdlReadComplete;
    request.operationClass = read ? wire::VeskOpRead : wire::VeskOpWrite;
    if ((iopb.operationFlags & flt::kOperationOverrideVerify) != 0) {
        p.Flags |= wire::VeskTransferOverrideVerify;
    }
    if ((iopb.operationFlags & flt::kOperationKeySpecified) != 0) {
        p.Flags |= wire::VeskTransferKeySpecified;
    }
    return request;
}

// A kernel-readable view of the transferred bytes and how many of them it covers: the memory
// descriptor's mapping, a kernel or fast-I/O buffer as it is, or the caller's buffer locked and
// mapped. nullptr when no view can be had.
const std::uint8_t* DataView(flt::CallbackData* data, std::uint32_t* available) {
    *available = 0;
    flt::Mdl* mdl = nullptr;
    void* buffer = nullptr;
    std::uint32_t length = 0;
    if (!NtSuccess(flt::DecodeParameters(data, &mdl, &buffer, &length))) {
        return nullptr;
    }
    if (mdl == nullptr && buffer != nullptr &&
        (data->flags & (flt::kFlagSystemBuffer | flt::kFlagFastIo)) != 0) {
        *available = length;
        return static_cast<const std::uint8_t*>(buffer);
    }
    if (mdl == nullptr) {
        if (!NtSuccess(flt::LockUserBuffer(data)) ||
            !NtSuccess(flt::DecodeParameters(data, &mdl, &buffer, &length)) || mdl == nullptr) {
            return nullptr;
        }
    }
    void* mapped = flt::MapLockedPages(mdl);
    if (mapped == nullptr) {
        return nullptr;
    }
    *available = mdl->byteCount;
    return static_cast<const std::uint8_t*>(mapped);
}

}  // namespace

void CaptureTransfer(flt::CallbackData* data, const flt::RelatedObjects* objects,
                     const CompletionNames& names) {
    TransferRequest request = DescribeTransfer(data);
    wire::TransferPayload& payload = request.payload;
    const NTSTATUS status = data->ioStatus.status;
    const std::uint64_t transferred = data->ioStatus.information;
    const bool wantData =
        transferred != 0 && NtSuccess(status) &&
        (Environment().driver->connection.Options() & wire::VeskConnectNoData) == 0;

    RecordInput input = OperationRecord(data, objects, names.source, request.operationClass);
    input.counted = true;
    input.bytes = transferred;

    std::uint32_t available = 0;
    const std::uint8_t* view = nullptr;
    if (wantData) {
        view = DataView(data, &available);
        if (view == nullptr) {
            return;  // neither reported nor counted
        }
    }
    if (view == nullptr || available == 0) {
        payload.Length = static_cast<std::uint32_t>(transferred);
        const PayloadPiece pieces[] = {{&payload, sizeof payload}};
        EmitFileRecord(input, pieces);
        return;
    }
    // Never beyond the buffer the request described, whatever the completion claims.
    const std::uint64_t total = std::min<std::uint64_t>(transferred, available);
    payload.Flags |= wire::VeskTransferHasData;
    if (payload.RequestedLength > wire::kMaxDataPerMessage) {
        payload.Flags |= wire::VeskTransferLarge;
    }

    RecordFrame frame(input);
    bool report = false;
    if (!NtSuccess(frame.Admit(&report)) || !report) {
        return;
    }
    const std::int64_t start = payload.Offset;
    for (std::uint64_t done = 0; done < total;) {
        const auto chunk = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(total - done, wire::kMaxDataPerMessage));
        payload.Length = chunk;
        payload.Offset = start + static_cast<std::int64_t>(done);
        const PayloadPiece pieces[] = {{&payload, sizeof payload}, {view + done, chunk, true}};
        (void)frame.Emit(pieces);
        done += chunk;
    }
}

void CaptureFlush(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names) {
    EmitFileRecord(OperationRecord(data, objects, names.source, wire::VeskOpFlush), {});
}

}  // namespace vesk::driver
