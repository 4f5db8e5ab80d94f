#include "record_frame.h"

#include <cstring>

#include "capture_environment.h"
#include "message/notification_builder.h"
#include "platform/fltmgr/buffers.h"
#include "rules/rule_table.h"
#include "wire/port_wire.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS RecordFrame::Admit(bool* report) {
    *report = false;
    DriverState& driver = *Environment().driver;
    const bool countAll = (driver.connection.Options() & wire::VeskConnectCountAll) != 0;
    if (input_.counted && countAll) {
        driver.statistics.CountOperation(input_.operationClass, input_.status, input_.bytes);
    }
    if (driver.connection.IsExcludedThread(input_.actingThread)) {
        return STATUS_SUCCESS;
    }
    const NTSTATUS status = name_.Build(input_.volume, input_.data, input_.streamName);
    if (!NtSuccess(status)) {
        return status;
    }
    const std::uint32_t processId = ProcessId(ThreadToProcess(input_.actingThread));
    if (!Environment().rules->Check(processId, &name_.Text(), wire::VeskCategoryFileSystem,
                                    input_.operationClass)) {
        return STATUS_SUCCESS;
    }
    if (input_.counted && !countAll) {
        driver.statistics.CountOperation(input_.operationClass, input_.status, input_.bytes);
    }
    *report = true;
    return STATUS_SUCCESS;
}

NTSTATUS RecordFrame::Emit(std::span<const PayloadPiece> payload) {
    DriverState& driver = *Environment().driver;
    if ((driver.connection.Categories() & wire::VeskWantFileSystem) == 0) {
        return STATUS_SUCCESS;
    }
    std::uint64_t payloadLength = 0;
    for (const PayloadPiece& piece : payload) {
        payloadLength += piece.length;
    }
    if (payloadLength > UINT32_MAX) {
        return STATUS_INTEGER_OVERFLOW;
    }
    MessageParameters p;
    p.actingThread = input_.actingThread;
    p.volumeId = input_.volume != nullptr ? flt::VolumeIdentity(input_.volume) : 0;
    p.fileObjectId = input_.fileObjectId;
    p.name = &name_.Text();
    p.volumePrefixLength = name_.PrefixCharacters();
    p.category = wire::VeskCategoryFileSystem;
    p.operation = input_.operationClass;
    p.status = static_cast<std::uint32_t>(input_.status);
    p.payloadLength = static_cast<std::uint32_t>(payloadLength);
    BuiltMessage built;
    NTSTATUS status = BuildMessage(p, &built);
    if (!NtSuccess(status)) {
        return status;
    }
    std::uint8_t* cursor = built.payload;
    for (const PayloadPiece& piece : payload) {
        if (piece.callerMemory) {
            status = CopyFromCallerMemory(cursor, piece.bytes, piece.length);
            if (!NtSuccess(status)) {
                FreeMessage(built.message);
                return status;
            }
        } else if (piece.length != 0) {
            std::memcpy(cursor, piece.bytes, piece.length);
        }
        cursor += piece.length;
    }
    return driver.queue.EnqueueMessage(built.message, built.totalLength);
}

void EmitFileRecord(const RecordInput& input, std::span<const PayloadPiece> payload) {
    RecordFrame frame(input);
    bool report = false;
    if (NtSuccess(frame.Admit(&report)) && report) {
        (void)frame.Emit(payload);
    }
}

}  // namespace vesk::driver
