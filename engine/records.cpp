#include "records.h"

#include <cstring>

#include "wire/port_wire.h"

namespace vesk::engine {

using namespace vesk::wire;

namespace {

template <typename T>
T ReadAt(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

const VeskChar* TextAt(const std::uint8_t* at) {
    return reinterpret_cast<const VeskChar*>(at);
}

void FillFileSystemData(std::uint32_t operation, const std::uint8_t* p, VeskOperationData* d) {
    switch (operation) {
        case VeskOpCreate: {
            const auto c = ReadAt<CreatePayload>(p);
            d->Create = {c.Kind,        c.DesiredAccess, c.Attributes,     c.Disposition,
                         c.ShareAccess, c.CreateOptions, c.AllocationSize, c.Result};
            break;
        }
        case VeskOpClose:
            d->Close.Kind = ReadAt<ClosePayload>(p).Kind;
            break;
        case VeskOpRead:
        case VeskOpWrite: {
            const auto t = ReadAt<TransferPayload>(p);
            d->Transfer = {
                t.Key,
                t.RequestedLength,
                t.Offset,
                t.Kind,
                t.Flags,
                t.Length,
                (t.Flags & VeskTransferHasData) != 0 ? p + kTransferPayloadLength : nullptr};
            break;
        }
        case VeskOpMount:
        case VeskOpAttach: {
            const auto v = ReadAt<VolumePayload>(p);
            d->Volume = {v.FileSystemType, v.DeviceType, v.VolumeFlags};
            break;
        }
        case VeskOpLabel:
            d->Label.Label = TextAt(p + sizeof(LabelPayloadHeader));
            break;
        case VeskOpLink:
        case VeskOpRename: {
            const auto l = ReadAt<LinkPayloadHeader>(p);
            d->Link = {l.ReplaceIfExists, TextAt(p + sizeof l), l.TargetVolumePrefixLength};
            break;
        }
        case VeskOpAllocation:
        case VeskOpSize:
        case VeskOpPosition:
        case VeskOpValidLength:
        case VeskOpExtend:
            d->Value.Value = ReadAt<Int64Payload>(p).Value;
            break;
        case VeskOpBasic: {
            const auto b = ReadAt<BasicPayload>(p);
            d->Basic = {b.CreationTime, b.LastAccessTime, b.LastWriteTime, b.ChangeTime,
                        b.Attributes};
            break;
        }
        case VeskOpSecurity: {
            const auto s = ReadAt<SecurityPayloadHeader>(p);
            d->Security = {s.ProtectionFlags, s.InformationTypes, s.DescriptorLength, p + sizeof s};
            break;
        }
        case VeskOpEa:
        case VeskOpQuota:
            d->Sized = {ReadAt<DataPayloadHeader>(p).DataLength, p + sizeof(DataPayloadHeader)};
            break;
        case VeskOpCompress:
            d->Compression.State = ReadAt<CompressPayload>(p).State;
            break;
        case VeskOpObjectId: {
            const auto o = ReadAt<ObjectIdPayload>(p);
            d->ObjectId.Kind = o.Kind;
            std::memcpy(d->ObjectId.ObjectId, o.Block, sizeof o.Block);
            break;
        }
        case VeskOpShrink: {
            const auto s = ReadAt<ShrinkPayload>(p);
            d->Shrink = {s.NewSectorCount, s.Action};
            break;
        }
        case VeskOpReparse: {
            const auto r = ReadAt<ReparsePayloadHeader>(p);
            VeskReparseData& out = d->Reparse;
            out.Tag = r.Tag;
            std::memcpy(out.Guid, r.Guid, sizeof r.Guid);
            out.Kind = r.ReparseKind;
            out.Flags = r.ReparseFlags;
            out.Action = r.Action;
            const bool named =
                r.ReparseKind == VeskReparseSymbolicLink || r.ReparseKind == VeskReparseMountPoint;
            out.Target = named ? TextAt(p + sizeof r) : nullptr;
            out.TargetVolumePrefixLength = named ? r.TargetVolumePrefixLength : 0;
            break;
        }
        default:
            break;  // no payload
    }
}

}  // namespace

void FillClientRecords(std::span<const std::uint8_t> record, VeskNotification* n,
                       VeskOperationData* d) {
    const auto h = ReadAt<NotificationHeader>(record.data());
    const std::uint8_t* sid = record.data() + kNotificationFixedLength + h.NameLength;
    const std::uint8_t* payload = sid + 8 + 4 * sid[1];
    n->Impersonated = h.Impersonated;
    n->Category = h.Category;
    n->Operation = h.Operation;
    n->Status = h.Status;
    n->ThreadId = h.ThreadId;
    n->ProcessId = h.ProcessId;
    n->SessionId = h.SessionId;
    n->AuthenticationId = {h.AuthenticationIdLow, h.AuthenticationIdHigh};
    n->Sid = sid;
    n->VolumeId = h.VolumeId;
    n->FileObjectId = h.FileObjectId;
    n->Name = TextAt(record.data() + sizeof h);
    n->VolumePrefixLength = h.VolumePrefixLength;
    std::memset(d, 0, sizeof *d);
    if (h.Category == VeskCategoryProcess) {
        if (h.Operation == VeskOpProcessCreate || h.Operation == VeskOpProcessExit) {
            const auto p = ReadAt<ProcessPayload>(payload);
            d->Process = {p.ProcessId, p.ParentProcessId};
        }
    } else {
        FillFileSystemData(h.Operation, payload, d);
    }
}

}  // namespace vesk::engine
