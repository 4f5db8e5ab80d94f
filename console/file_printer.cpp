// The file-operation printer: selection of a record, its names, and the block of its class.
#include <string_view>

#include "class_filter.h"
#include "name_pattern.h"
#include "printer.h"
#include "printer_blocks.h"
#include "text_conversion.h"

namespace vesk::console {

Printer::Printer(Output& output, std::string filter, std::u16string pattern)
    : output_(output),
      filter_(std::move(filter)),
      pattern_(std::move(pattern)),
      nameBuffer_(new VeskChar[kBufferBytes / sizeof(VeskChar)]),
      uncBuffer_(new VeskChar[kBufferBytes / sizeof(VeskChar)]),
      targetBuffer_(new VeskChar[kBufferBytes / sizeof(VeskChar)]) {}

bool Printer::Select(const VeskNotification& notification, bool checkName, VeskName* name,
                     const VeskChar** used) {
    if (!ClassSelected(filter_, notification.Category, notification.Operation)) {
        return false;
    }
    *used = notification.Name;
    if (!checkName) {
        return true;
    }
    if (VeskGetName(&notification, 0, name) && (name->Flags & VeskNameHasName) != 0) {
        *used = name->Name.Buffer;
    }
    if (pattern_.empty() || pattern_ == u"*") {
        return true;
    }
    const std::u16string_view text = *used != nullptr ? std::u16string_view(*used) : u"";
    if (!MatchesNamePattern(text, pattern_)) {
        VeskFreeName(name);
        return false;
    }
    return true;
}

std::string CommonLines(const char* title, const RecordText& record) {
    std::string text = title;
    text += Format("    %08X\r\n", record.notification.VolumeId);
    text += Format("    Status: %08X\r\n", record.notification.Status);
    text += Format("    %s\r\n", record.name.c_str());
    return text;
}

namespace {

std::string BlockOf(const RecordText& r) {
    switch (r.notification.Operation) {
        case VeskOpCreate: return CreateBlock(r);
        case VeskOpClose: return CloseBlock(r);
        case VeskOpRead: return TransferBlock("Read", r);
        case VeskOpWrite: return TransferBlock("Write", r);
        case VeskOpFlush: return FlushBlock(r);
        case VeskOpMount: return VolumeArrivalBlock("  Volume mount:\r\n", "mounted", r);
        case VeskOpAttach: return VolumeArrivalBlock("  Volume attach:\r\n", "attached", r);
        case VeskOpUnmount: return VolumeDepartureBlock("  Volume unmount:\r\n", r);
        case VeskOpDetach: return VolumeDepartureBlock("  Volume detach:\r\n", r);
        case VeskOpLabel: return LabelBlock(r);
        case VeskOpDelete: return DeleteBlock(r);
        case VeskOpLink: return LinkBlock(r);
        case VeskOpRename: return MoveBlock(r);
        case VeskOpAllocation: return AllocationBlock(r);
        case VeskOpBasic: return BasicBlock(r);
        case VeskOpSize: return SizeBlock(r);
        case VeskOpPosition: return PositionBlock(r);
        case VeskOpValidLength: return ValidLengthBlock(r);
        case VeskOpSecurity: return SecurityBlock(r);
        case VeskOpEa: return EaBlock(r);
        case VeskOpQuota: return QuotaBlock(r);
        case VeskOpCompress: return CompressBlock(r);
        case VeskOpSparse: return SparseBlock(r);
        case VeskOpObjectId: return ObjectIdBlock(r);
        case VeskOpExtend: return ExtendBlock(r);
        case VeskOpShrink: return ShrinkBlock(r);
        case VeskOpReparse: return ReparseBlock(r);
        default: return {};  // a class this printer does not know: only its file object line
    }
}

}  // namespace

void Printer::PrintFileOperation(const VeskNotification& notification,
                                 const VeskOperationData& data) {
    VeskName name{};
    VeskName target{};
    VeskInitString(&name.Name, nameBuffer_.get(), kBufferBytes);
    VeskInitString(&name.UncName, uncBuffer_.get(), kBufferBytes);
    VeskInitString(&target.Name, targetBuffer_.get(), kBufferBytes);

    const VeskChar* used = nullptr;
    if (!Select(notification, true, &name, &used)) {
        return;
    }
    const bool uncResolved = (name.Flags & VeskNameHasUncName) != 0;
    RecordText record{notification,
                      data,
                      ToUtf8(used),
                      (name.Flags & VeskNameHasName) != 0,
                      uncResolved ? ToUtf8(name.UncName.Buffer) : std::string(),
                      uncResolved,
                      std::string()};
    const VeskChar* targetText = nullptr;
    if (VeskGetTargetName(&notification, &data, 0, &target) &&
        (target.Flags & VeskNameHasName) != 0) {
        targetText = target.Name.Buffer;
    } else {
        targetText = VeskGetTargetNameString(&notification, &data);
    }
    record.target = ToUtf8(targetText);

    output_.Write(Format("  File object: %08X\r\n", notification.FileObjectId) + BlockOf(record));
    VeskFreeName(&name);
    VeskFreeName(&target);
}

}  // namespace vesk::console
