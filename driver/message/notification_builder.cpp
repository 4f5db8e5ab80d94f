#include "notification_builder.h"

#include <cstring>

#include "core/pool_tags.h"
#include "identity/requestor_identity.h"
#include "platform/kernel/pool.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS BuildMessage(const MessageParameters& p, BuiltMessage* built) {
    ThreadIdentity identity;
    NTSTATUS status = QueryThreadIdentity(p.actingThread, &identity);
    if (!NtSuccess(status)) {
        return status;
    }
    const std::uint32_t nameLength = p.name != nullptr ? p.name->Length : 0;
    const std::uint64_t total = std::uint64_t{wire::kNotificationFixedLength} + nameLength +
                                identity.sidLength + p.payloadLength;
    if (total > UINT32_MAX) {
        FreeThreadIdentity(&identity);
        return STATUS_INTEGER_OVERFLOW;
    }
    auto* block = static_cast<std::uint8_t*>(AllocatePool(PoolType::NonPaged, total, kTagMessage));
    if (block == nullptr) {
        FreeThreadIdentity(&identity);
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    Process* process = ThreadToProcess(p.actingThread);
    wire::NotificationHeader header;
    std::memset(header.Reserved, 0, sizeof header.Reserved);
    header.TotalLength = static_cast<std::uint32_t>(total);
    header.Impersonated = identity.impersonated ? 1 : 0;
    header.Category = p.category;
    header.Operation = p.operation;
    header.Status = p.status;
    header.ThreadId = ThreadId(p.actingThread);
    header.ProcessId = ProcessId(process);
    header.SessionId = ProcessSessionId(process);
    header.AuthenticationIdLow = identity.authenticationId.LowPart;
    header.AuthenticationIdHigh = identity.authenticationId.HighPart;
    header.VolumeId = p.volumeId;
    header.FileObjectId = p.fileObjectId;
    header.VolumePrefixLength = p.volumePrefixLength;
    header.NameLength = static_cast<std::uint16_t>(nameLength);
    header.PayloadLength = p.payloadLength;
    std::memcpy(block, &header, sizeof header);

    std::uint8_t* cursor = block + sizeof header;
    if (nameLength != 0) {
        std::memcpy(cursor, p.name->Buffer, nameLength);
        cursor += nameLength;
    }
    cursor[0] = 0;
    cursor[1] = 0;
    cursor += 2;
    std::memcpy(cursor, identity.sid, identity.sidLength);
    cursor += identity.sidLength;
    FreeThreadIdentity(&identity);

    built->message = reinterpret_cast<wire::NotificationHeader*>(block);
    built->payload = cursor;
    built->totalLength = static_cast<std::uint32_t>(total);
    return STATUS_SUCCESS;
}

void FreeMessage(wire::NotificationHeader* message) { FreePool(message, kTagMessage); }

}  // namespace vesk::driver
