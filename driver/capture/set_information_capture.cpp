// Set-information requests: rename and link with their destination names, delete on close, times
// and attributes, size, allocation, position and valid data length. Payloads come from the
// request's buffer, read only within the length the request states.
#include <cstddef>
#include <cstring>

#include "capture_contexts.h"
#include "class_captures.h"
#include "name_release.h"
#include "object_name.h"
#include "platform/fltmgr/names.h"
#include "wire/port_wire.h"
#include "wire/wire_encodings.h"

namespace vesk::driver {

using namespace kernel;

namespace {

// The request's rename or link buffer when it holds its whole file name, else nullptr.
const flt::RenameInformation* RenameBuffer(const flt::CallbackData* data) {
    const auto& request = data->iopb->parameters.setInformation;
    constexpr std::uint32_t fixed = offsetof(flt::RenameInformation, fileName);
    if (request.infoBuffer == nullptr || request.length < fixed) {
        return nullptr;
    }
    const auto* rename = static_cast<const flt::RenameInformation*>(request.infoBuffer);
    if (request.length - fixed < rename->fileNameLength) {
        return nullptr;
    }
    return rename;
}

// The first 8 bytes of the request's buffer as a signed value, when it has them.
bool ReadInt64(const flt::CallbackData* data, std::int64_t* value) {
    const auto& request = data->iopb->parameters.setInformation;
    if (request.infoBuffer == nullptr || request.length < sizeof *value) {
        return false;
    }
    std::memcpy(value, request.infoBuffer, sizeof *value);
    return true;
}

void CaptureRenameOrLink(flt::CallbackData* data, const flt::RelatedObjects* objects,
                         const CompletionNames& names, std::uint32_t operationClass) {
    const flt::RenameInformation* rename = RenameBuffer(data);
    if (rename == nullptr) {
        return;
    }
    const NTSTATUS status = data->ioStatus.status;
    FileNameInformation* destination = ObtainDestinationName(
        data, objects, NameQueryOptions(!NtSuccess(status), IsNetworkVolume(objects->volume)));
    if (destination == nullptr && names.target != nullptr) {
        ReferenceFileNameInformation(names.target);  // the one from before the operation
        destination = names.target;
    }
    if (destination == nullptr) {
        return;
    }
    if (NtSuccess(status)) {
        // Later records of this open file carry the new name (a link's name, too).
        ReplaceStreamName(objects->instance, data->iopb->targetFileObject, destination);
    }
    const wire::LinkPayloadHeader header{
        rename->replaceIfExists != 0 ? 1u : 0u, destination->Name.Length,
        static_cast<std::uint16_t>(destination->Volume.Length / sizeof(char16_t))};
    const std::uint16_t terminator = 0;
    const PayloadPiece pieces[] = {{&header, sizeof header},
                                   {destination->Name.Buffer, destination->Name.Length},
                                   {&terminator, sizeof terminator}};
    // The header names the stream as it was before the operation; the payload the new name.
    EmitFileRecord(OperationRecord(data, objects, names.source, operationClass), pieces);
    ReleaseName(destination);
}

}  // namespace

bool IsRenameOrLink(const flt::CallbackData* data) {
    if (data->iopb->majorFunction != flt::MajorFunction::SetInformation) {
        return false;
    }
    const std::uint32_t informationClass = data->iopb->parameters.setInformation.informationClass;
    return informationClass == flt::FileRenameInformation ||
           informationClass == flt::FileLinkInformation;
}

FileNameInformation* ObtainDestinationName(flt::CallbackData* data,
                                           const flt::RelatedObjects* objects,
                                           std::uint32_t options) {
    const flt::RenameInformation* rename = RenameBuffer(data);
    if (rename == nullptr) {
        return nullptr;
    }
    FileNameInformation* name = nullptr;
    if (!NtSuccess(flt::GetDestinationFileNameInformation(
            objects->instance, data->iopb->targetFileObject, rename->rootDirectory,
            rename->fileName, rename->fileNameLength, options, &name))) {
        return nullptr;
    }
    return name;
}

void CaptureSetInformation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                           const CompletionNames& names) {
    const auto& request = data->iopb->parameters.setInformation;
    std::uint32_t operationClass = 0;
    wire::Int64Payload value{};
    switch (request.informationClass) {
        case flt::FileRenameInformation:
            CaptureRenameOrLink(data, objects, names, wire::VeskOpRename);
            return;
        case flt::FileLinkInformation:
            CaptureRenameOrLink(data, objects, names, wire::VeskOpLink);
            return;
        case flt::FileBasicInformation: {
            constexpr std::uint32_t needed =
                offsetof(flt::BasicInformation, fileAttributes) + sizeof(std::uint32_t);
            if (request.infoBuffer == nullptr || request.length < needed) {
                return;
            }
            flt::BasicInformation basic{};
            std::memcpy(&basic, request.infoBuffer, needed);
            const wire::BasicPayload payload{basic.creationTime, basic.lastAccessTime,
                                             basic.lastWriteTime, basic.changeTime,
                                             wire::EncodeFileAttributes(basic.fileAttributes)};
            const PayloadPiece pieces[] = {{&payload, sizeof payload}};
            EmitFileRecord(OperationRecord(data, objects, names.source, wire::VeskOpBasic), pieces);
            return;
        }
        case flt::FileDispositionInformation: {
            if (request.infoBuffer == nullptr || request.length < 1 ||
                *static_cast<const std::uint8_t*>(request.infoBuffer) == 0) {
                return;  // clearing the delete flag is not a delete
            }
            EmitFileRecord(OperationRecord(data, objects, names.source, wire::VeskOpDelete), {});
            return;
        }
        case flt::FilePositionInformation:
            operationClass = wire::VeskOpPosition;
            break;
        case flt::FileAllocationInformation:
            operationClass = wire::VeskOpAllocation;
            break;
        case flt::FileEndOfFileInformation:
            operationClass = wire::VeskOpSize;
            break;
        case flt::FileValidDataLengthInformation:
            operationClass = wire::VeskOpValidLength;
            break;
        default:
            return;
    }
    if (!ReadInt64(data, &value.Value)) {
        return;
    }
    const PayloadPiece pieces[] = {{&value, sizeof value}};
    EmitFileRecord(OperationRecord(data, objects, names.source, operationClass), pieces);
}

}  // namespace vesk::driver
