// Metadata changes: security descriptors, extended attributes, quota, the volume label and object
// id, and the file-system control requests for object ids, reparse points, sparse files,
// compression, and extending and shrinking volumes. Every value is read from the request's buffer
// within the length the request states; a request too short for what its class needs produces
// nothing. Failed operations are reported with their status like any other.
#include <algorithm>
#include <cstring>

#include "capture_environment.h"
#include "class_captures.h"
#include "core/pool_tags.h"
#include "names/volume_name.h"
#include "platform/fltmgr/buffers.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/security_descriptor.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

namespace {

template <typename T>
T ReadAt(const std::uint8_t* bytes, std::uint32_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

void Emit(flt::CallbackData* data, const flt::RelatedObjects* objects, const CompletionNames& names,
          std::uint32_t operationClass, std::span<const PayloadPiece> pieces) {
    EmitFileRecord(OperationRecord(data, objects, names.source, operationClass), pieces);
}

void CaptureSecurity(flt::CallbackData* data, const flt::RelatedObjects* objects,
                     const CompletionNames& names) {
    const auto& request = data->iopb->parameters.setSecurity;
    const std::uint32_t information = request.securityInformation;
    wire::SecurityPayloadHeader header{};
    header.ProtectionFlags = ((information >> 31) & 1) | ((information >> 30) & 1) << 1 |
                             ((information >> 29) & 1) << 2 | ((information >> 28) & 1) << 3;
    header.InformationTypes = information & 0xF;
    // A descriptor that does not measure within what was captured is carried as none.
    header.DescriptorLength =
        LengthSecurityDescriptor(request.securityDescriptor, request.securityDescriptorLength);
    const PayloadPiece pieces[] = {{&header, sizeof header},
                                   {request.securityDescriptor, header.DescriptorLength, true}};
    Emit(data, objects, names, wire::VeskOpSecurity, pieces);
}

void CaptureBuffer(flt::CallbackData* data, const flt::RelatedObjects* objects,
                   const CompletionNames& names, std::uint32_t operationClass) {
    const auto& request = data->iopb->parameters.buffer;
    if (request.buffer == nullptr && request.length != 0) {
        return;
    }
    const wire::DataPayloadHeader header{request.length};
    const PayloadPiece pieces[] = {{&header, sizeof header},
                                   {request.buffer, request.length, true}};
    Emit(data, objects, names, operationClass, pieces);
}

void EmitObjectId(flt::CallbackData* data, const flt::RelatedObjects* objects,
                  const CompletionNames& names, std::uint32_t kind, const std::uint8_t* bytes,
                  std::uint32_t length) {
    wire::ObjectIdPayload payload{};
    payload.Kind = kind;
    if (bytes != nullptr && length != 0) {
        std::memcpy(payload.Block, bytes, std::min<std::uint32_t>(length, sizeof payload.Block));
    }
    const PayloadPiece pieces[] = {{&payload, sizeof payload}};
    Emit(data, objects, names, wire::VeskOpObjectId, pieces);
}

void CaptureVolumeInformation(flt::CallbackData* data, const flt::RelatedObjects* objects,
                              const CompletionNames& names) {
    const auto& request = data->iopb->parameters.setVolumeInformation;
    const auto* buffer = static_cast<const std::uint8_t*>(request.buffer);
    if (buffer == nullptr) {
        return;
    }
    if (request.informationClass == flt::FileFsLabelInformation) {
        if (request.length < sizeof(std::uint32_t)) {
            return;
        }
        const auto labelBytes = ReadAt<std::uint32_t>(buffer, 0);
        if (request.length - sizeof(std::uint32_t) < labelBytes) {
            return;
        }
        const wire::LabelPayloadHeader header{static_cast<std::uint16_t>(labelBytes)};
        const std::uint16_t terminator = 0;
        const PayloadPiece pieces[] = {{&header, sizeof header},
                                       {buffer + sizeof(std::uint32_t), labelBytes},
                                       {&terminator, sizeof terminator}};
        Emit(data, objects, names, wire::VeskOpLabel, pieces);
    } else if (request.informationClass == flt::FileFsObjectIdInformation) {
        if (request.length < 16) {
            return;
        }
        EmitObjectId(data, objects, names, wire::VeskObjectIdSet, buffer, 16);
    }
}

// The substitute name of a symbolic link or mount point: its offset and length at buffer offsets
// 8 and 10, relative to the path buffer. A copy ("Frep"), or nullptr when it is empty, lies
// outside the input or cannot be copied.
UnicodeString* SubstituteName(const std::uint8_t* buffer, std::uint32_t inputLength,
                              std::uint32_t pathBufferOffset) {
    const std::uint32_t offset = ReadAt<std::uint16_t>(buffer, 8);
    const std::uint32_t length = ReadAt<std::uint16_t>(buffer, 10) & ~1u;
    if (length == 0 || pathBufferOffset + offset + length > inputLength) {
        return nullptr;
    }
    auto* block = static_cast<std::uint8_t*>(AllocatePool(
        PoolType::Paged, sizeof(UnicodeString) + length + sizeof(char16_t), kTagReparse));
    if (block == nullptr) {
        return nullptr;
    }
    auto* name = reinterpret_cast<UnicodeString*>(block);
    auto* text = reinterpret_cast<char16_t*>(block + sizeof(UnicodeString));
    if (!NtSuccess(CopyFromCallerMemory(text, buffer + pathBufferOffset + offset, length))) {
        FreePool(block, kTagReparse);
        return nullptr;
    }
    text[length / sizeof(char16_t)] = u'\0';
    *name = UnicodeString{static_cast<std::uint16_t>(length),
                          static_cast<std::uint16_t>(length + sizeof(char16_t)), text};
    return name;
}

std::uint32_t ReparseKindOfTag(std::uint32_t tag) {
    if (tag == flt::IO_REPARSE_TAG_SYMLINK) {
        return wire::VeskReparseSymbolicLink;
    }
    if (tag == flt::IO_REPARSE_TAG_MOUNT_POINT) {
        return wire::VeskReparseMountPoint;
    }
    return (tag & 0x80000000u) != 0 ? wire::VeskReparseOtherOwn : wire::VeskReparseForeign;
}

void CaptureReparse(flt::CallbackData* data, const flt::RelatedObjects* objects,
                    const CompletionNames& names, const std::uint8_t* buffer,
                    std::uint32_t inputLength, std::uint32_t action) {
    if (inputLength < sizeof(std::uint32_t)) {
        return;
    }
    wire::ReparsePayloadHeader header{};
    header.Tag = ReadAt<std::uint32_t>(buffer, 0);
    header.Action = action;
    header.ReparseKind = ReparseKindOfTag(header.Tag);
    if (header.ReparseKind == wire::VeskReparseForeign) {
        if (inputLength < 24) {
            return;
        }
        std::memcpy(header.Guid, buffer + 8, sizeof header.Guid);
    }
    UnicodeString* target = nullptr;
    const bool named = header.ReparseKind == wire::VeskReparseSymbolicLink ||
                       header.ReparseKind == wire::VeskReparseMountPoint;
    if (action == wire::VeskReparseSet && named) {
        const bool symlink = header.ReparseKind == wire::VeskReparseSymbolicLink;
        const std::uint32_t pathBuffer = symlink ? 20 : 16;
        target =
            inputLength >= pathBuffer ? SubstituteName(buffer, inputLength, pathBuffer) : nullptr;
        if (target == nullptr) {
            header.ReparseKind = wire::VeskReparseUnreadable;
        } else {
            const bool relative = symlink && (ReadAt<std::uint32_t>(buffer, 16) & 1) != 0;
            header.ReparseFlags = relative ? 1 : 0;
            std::uint16_t prefixBytes = 0;
            if (!relative && !NtSuccess(ReparseTargetVolumePrefixOfInstance(
                                 objects->instance, *target, &prefixBytes))) {
                prefixBytes = 0;  // outside the volume, or not recognised
            }
            header.TargetVolumePrefixLength =
                static_cast<std::uint16_t>(prefixBytes / sizeof(char16_t));
        }
    }
    const std::uint16_t terminator = 0;
    const PayloadPiece pieces[] = {{&header, sizeof header},
                                   {target != nullptr ? target->Buffer : nullptr,
                                    target != nullptr ? target->Length : std::uint32_t{0}},
                                   {&terminator, sizeof terminator}};
    Emit(data, objects, names, wire::VeskOpReparse, pieces);
    if (target != nullptr) {
        FreePool(target, kTagReparse);
    }
}

void CaptureFileSystemControl(flt::CallbackData* data, const flt::RelatedObjects* objects,
                              const CompletionNames& names) {
    const std::uint8_t minor = data->iopb->minorFunction;
    if (minor != flt::kMinorUserFsRequest && minor != flt::kMinorKernelCall) {
        return;
    }
    const auto& request = data->iopb->parameters.fileSystemControl;
    const auto* buffer = static_cast<const std::uint8_t*>(request.systemBuffer);
    const std::uint32_t input = buffer != nullptr ? request.inputBufferLength : 0;
    switch (request.controlCode) {
        case flt::FSCTL_SET_OBJECT_ID:
            if (input >= 16) {
                EmitObjectId(data, objects, names, wire::VeskObjectIdSet, buffer, 16);
            }
            return;
        case flt::FSCTL_CREATE_OR_GET_OBJECT_ID: {
            // The id as returned, over the same buffer; what was not returned stays zero.
            const std::uint64_t returned = buffer != nullptr
                                               ? std::min<std::uint64_t>(data->ioStatus.information,
                                                                         request.outputBufferLength)
                                               : 0;
            EmitObjectId(data, objects, names, wire::VeskObjectIdSet, buffer,
                         static_cast<std::uint32_t>(std::min<std::uint64_t>(returned, 16)));
            return;
        }
        case flt::FSCTL_SET_OBJECT_ID_EXTENDED:
            // The extended part of an object-id buffer; what the request did not supply is zero.
            EmitObjectId(data, objects, names, wire::VeskObjectIdSetExtended,
                         input > 16 ? buffer + 16 : nullptr, input > 16 ? input - 16 : 0);
            return;
        case flt::FSCTL_DELETE_OBJECT_ID:
            EmitObjectId(data, objects, names, wire::VeskObjectIdDelete, nullptr, 0);
            return;
        case flt::FSCTL_SET_REPARSE_POINT:
            CaptureReparse(data, objects, names, buffer, input, wire::VeskReparseSet);
            return;
        case flt::FSCTL_DELETE_REPARSE_POINT:
            CaptureReparse(data, objects, names, buffer, input, wire::VeskReparseDelete);
            return;
        case flt::FSCTL_SET_SPARSE:
            Emit(data, objects, names, wire::VeskOpSparse, {});
            return;
        case flt::FSCTL_EXTEND_VOLUME: {
            if (input < 8) {
                return;
            }
            const wire::Int64Payload payload{ReadAt<std::int64_t>(buffer, 0)};
            const PayloadPiece pieces[] = {{&payload, sizeof payload}};
            Emit(data, objects, names, wire::VeskOpExtend, pieces);
            return;
        }
        case flt::FSCTL_SHRINK_VOLUME: {
            if (input < 24) {
                return;
            }
            const std::uint32_t action = ReadAt<std::uint32_t>(buffer, 0);
            const wire::ShrinkPayload payload{action >= 1 && action <= 3 ? action : 0u,
                                              ReadAt<std::int64_t>(buffer, 16)};
            const PayloadPiece pieces[] = {{&payload, sizeof payload}};
            Emit(data, objects, names, wire::VeskOpShrink, pieces);
            return;
        }
        case flt::FSCTL_SET_COMPRESSION: {
            if (input < 2) {
                return;
            }
            const std::uint16_t format = ReadAt<std::uint16_t>(buffer, 0);
            const wire::CompressPayload payload{format == 0   ? wire::VeskCompressNone
                                                : format <= 2 ? wire::VeskCompressLznt1
                                                              : wire::VeskCompressOther};
            const PayloadPiece pieces[] = {{&payload, sizeof payload}};
            Emit(data, objects, names, wire::VeskOpCompress, pieces);
            return;
        }
        default:
            return;
    }
}

}  // namespace

void CaptureMetadata(flt::CallbackData* data, const flt::RelatedObjects* objects,
                     const CompletionNames& names) {
    switch (data->iopb->majorFunction) {
        case flt::MajorFunction::SetSecurity:
            CaptureSecurity(data, objects, names);
            return;
        case flt::MajorFunction::SetEa:
            CaptureBuffer(data, objects, names, wire::VeskOpEa);
            return;
        case flt::MajorFunction::SetQuota:
            CaptureBuffer(data, objects, names, wire::VeskOpQuota);
            return;
        case flt::MajorFunction::SetVolumeInformation:
            CaptureVolumeInformation(data, objects, names);
            return;
        case flt::MajorFunction::FileSystemControl:
            CaptureFileSystemControl(data, objects, names);
            return;
        default:
            return;
    }
}

}  // namespace vesk::driver
