// Create, network query-open, cleanup and close: the records that open and end a file's life,
// and the per-stream name cache that every later record of the stream relies on.
#include "capture_contexts.h"
#include "capture_environment.h"
#include "class_captures.h"
#include "name_release.h"
#include "object_name.h"
#include "platform/fltmgr/names.h"
#include "wire/port_wire.h"
#include "wire/wire_encodings.h"

namespace vesk::driver {

using namespace kernel;

void CaptureCreate(flt::CallbackData* data, const flt::RelatedObjects* objects,
                   FileNameInformation** name) {
    const NTSTATUS status = data->ioStatus.status;
    if (status == STATUS_REPARSE) {
        return;  // the open goes elsewhere; that open is the one to report
    }
    const bool failed = !NtSuccess(status);
    if (!(failed && *name != nullptr)) {
        ReleaseName(*name);
        *name = nullptr;
        FileNameInformation* opened = nullptr;
        if (NtSuccess(flt::GetFileNameInformation(
                data, NameQueryOptions(failed, IsNetworkVolume(objects->volume)), &opened))) {
            // Only an open that succeeded has a stream to name; the newest create of a stream
            // fixes its name.
            if (!failed) {
                (void)AttachStreamName(objects->filter, objects->instance,
                                       data->iopb->targetFileObject, opened);
            }
            *name = opened;
        }
    }

    const flt::CreateParameters& request = data->iopb->parameters.create;
    wire::CreatePayload payload;
    payload.Kind = data->iopb->majorFunction == flt::MajorFunction::NetworkQueryOpen
                       ? wire::VeskCreateQueryOpen
                       : wire::VeskCreateOpen;
    payload.CreateOptions = wire::EncodeCreateOptions(request.options & 0x00FFFFFF);
    payload.Disposition = wire::EncodeDisposition(request.options >> 24);
    payload.AllocationSize = request.allocationSize;
    payload.Attributes = wire::EncodeFileAttributes(request.fileAttributes);
    payload.ShareAccess = request.shareAccess & 0x7;
    payload.DesiredAccess = request.desiredAccess;
    // A failed open whose completion says nothing (0, which would read as "superseded") has no
    // result; a value the file system did set is kept.
    payload.Result = failed && data->ioStatus.information == 0
                         ? 0
                         : wire::EncodeCreateResult(data->ioStatus.information);

    RecordInput input = OperationRecord(data, objects, *name, wire::VeskOpCreate);
    input.counted = true;
    const PayloadPiece pieces[] = {{&payload, sizeof payload}};
    EmitFileRecord(input, pieces);
}

void CaptureClose(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names) {
    const wire::ClosePayload payload{data->iopb->majorFunction == flt::MajorFunction::Cleanup
                                         ? wire::VeskCloseCleanup
                                         : wire::VeskCloseClose};
    // For a close the stream's cached name is the only way to name the object.
    const RecordInput input = OperationRecord(data, objects, names.source, wire::VeskOpClose);
    const PayloadPiece pieces[] = {{&payload, sizeof payload}};
    EmitFileRecord(input, pieces);
}

}  // namespace vesk::driver
