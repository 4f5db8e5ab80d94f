#include "record_check.h"

#include <cstring>

#include "last_error.h"
#include "wire/port_wire.h"

namespace vesk::engine {

using namespace vesk::wire;

namespace {

constexpr std::uint32_t kPortHeader = 16;

template <typename T>
T ReadAt(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

bool ZeroAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    return offset + 2 <= bytes.size() && bytes[offset] == 0 && bytes[offset + 1] == 0;
}

// A text starting at offset ends with a 16-bit zero inside the bytes.
bool TerminatedFrom(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    for (; offset + 2 <= bytes.size(); offset += 2) {
        if (bytes[offset] == 0 && bytes[offset + 1] == 0) {
            return true;
        }
    }
    return false;
}

// A payload's class-specific fixed part and texts.
bool PayloadIsSound(std::uint32_t category, std::uint32_t operation,
                    std::span<const std::uint8_t> payload) {
    const std::size_t n = payload.size();
    if (category == VeskCategoryProcess) {
        return operation > 1 || n >= sizeof(ProcessPayload);
    }
    switch (operation) {
        case VeskOpCreate:
            return n >= kCreatePayloadLength;
        case VeskOpClose:
            return n >= kClosePayloadLength;
        case VeskOpRead:
        case VeskOpWrite: {
            if (n < kTransferPayloadLength) {
                return false;
            }
            const auto t = ReadAt<TransferPayload>(payload.data());
            return (t.Flags & VeskTransferHasData) == 0 || t.Length <= n - kTransferPayloadLength;
        }
        case VeskOpMount:
        case VeskOpAttach:
            return n >= kVolumePayloadLength;
        case VeskOpLabel: {
            // The length field carries only the low 16 bits of a long label: look for the end.
            return n >= kLabelPayloadFixedLength && TerminatedFrom(payload, 2);
        }
        case VeskOpLink:
        case VeskOpRename: {
            if (n < kLinkPayloadFixedLength) {
                return false;
            }
            const auto link = ReadAt<LinkPayloadHeader>(payload.data());
            return ZeroAt(payload, sizeof link + std::uint64_t{link.TargetLength});
        }
        case VeskOpAllocation:
        case VeskOpSize:
        case VeskOpPosition:
        case VeskOpValidLength:
        case VeskOpExtend:
            return n >= sizeof(Int64Payload);
        case VeskOpBasic:
            return n >= sizeof(BasicPayload);
        case VeskOpSecurity: {
            if (n < sizeof(SecurityPayloadHeader)) {
                return false;
            }
            const auto s = ReadAt<SecurityPayloadHeader>(payload.data());
            return s.DescriptorLength <= n - sizeof s;
        }
        case VeskOpEa:
        case VeskOpQuota: {
            if (n < sizeof(DataPayloadHeader)) {
                return false;
            }
            return ReadAt<std::uint32_t>(payload.data()) <= n - sizeof(DataPayloadHeader);
        }
        case VeskOpCompress:
            return n >= sizeof(CompressPayload);
        case VeskOpObjectId:
            return n >= sizeof(ObjectIdPayload);
        case VeskOpShrink:
            return n >= sizeof(ShrinkPayload);
        case VeskOpReparse: {
            return n >= kReparsePayloadFixedLength &&
                   TerminatedFrom(payload, sizeof(ReparsePayloadHeader));
        }
        default:
            return true;  // classes without payload, and classes this library does not know
    }
}

}  // namespace

std::uint32_t ReceivedRecordLength(std::span<const std::uint8_t> received, std::uint32_t* error) {
    if (received.size() < kPortHeader + sizeof(NotificationHeader)) {
        *error = kErrorBrokenPipe;
        return 0;
    }
    const auto total = ReadAt<std::uint32_t>(received.data() + kPortHeader +
                                             offsetof(NotificationHeader, TotalLength));
    if (total < sizeof(NotificationHeader) || received.size() - kPortHeader < total) {
        *error = kErrorInternal;
        return 0;
    }
    *error = 0;
    return total;
}

bool RecordIsSound(std::span<const std::uint8_t> record) {
    if (record.size() < kNotificationFixedLength) {
        return false;
    }
    const auto header = ReadAt<NotificationHeader>(record.data());
    if (header.TotalLength != record.size()) {
        return false;
    }
    const std::uint64_t sidOffset = kNotificationFixedLength + std::uint64_t{header.NameLength};
    if (!ZeroAt(record, sizeof header + std::uint64_t{header.NameLength}) ||
        sidOffset + 8 > record.size()) {
        return false;
    }
    const std::uint8_t subAuthorities = record[sidOffset + 1];
    const std::uint64_t sidLength = 8 + 4ull * subAuthorities;
    if (record[sidOffset] != 1 || subAuthorities > 15 ||
        sidOffset + sidLength + header.PayloadLength != record.size()) {
        return false;
    }
    return PayloadIsSound(header.Category, header.Operation,
                          record.subspan(sidOffset + sidLength, header.PayloadLength));
}

}  // namespace vesk::engine
