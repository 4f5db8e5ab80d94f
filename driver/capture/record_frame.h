// The common frame every file-system record passes through, in this order (the order matters for
// the counters):
//   1. with the count-every-operation option, count the operation;
//   2. operations of the client's own two threads stop here;
//   3. the object name is built (a failure stops here);
//   4. the rules decide (category 2 and the class);
//   5. without that option, count the operation now;
//   6. emit: build the message with the acting thread's identity and queue it, when the client
//      asked for file-system records.
// Steps 1 to 5 are Admit, step 6 Emit; a transfer whose data spans several messages is admitted
// once and emitted once per message.
#pragma once

#include <cstdint>
#include <span>

#include "object_name.h"
#include "platform/fltmgr/callback_data.h"
#include "platform/kernel/file_name_information.h"
#include "platform/kernel/process.h"
#include "platform/kernel/status.h"

namespace vesk::driver {

// One piece of a payload. Caller memory (request buffers, descriptors a caller handed in) is
// copied with a guard: a fault drops the message.
struct PayloadPiece {
    const void* bytes;
    std::uint32_t length;
    bool callerMemory = false;
};

struct RecordInput {
    kernel::Thread* actingThread = nullptr;
    flt::Volume* volume = nullptr;
    flt::CallbackData* data = nullptr;                  // nullptr outside an operation
    kernel::FileNameInformation* streamName = nullptr;  // borrowed for the record's life
    std::uint32_t operationClass = 0;
    kernel::NTSTATUS status = 0;
    std::uint32_t fileObjectId = 0;
    bool counted = false;  // creates, reads and writes feed the statistics
    std::uint64_t bytes = 0;
};

class RecordFrame {
  public:
    explicit RecordFrame(const RecordInput& input) : input_(input) {}
    RecordFrame(const RecordFrame&) = delete;
    RecordFrame& operator=(const RecordFrame&) = delete;

    // Steps 1 to 5. *report: whether to emit. Fails only when the object name cannot be built
    // (that status; nothing is reported).
    kernel::NTSTATUS Admit(bool* report);

    // Step 6 for one message whose payload is the pieces one after the other. STATUS_SUCCESS also
    // when the client asked for no file-system records.
    kernel::NTSTATUS Emit(std::span<const PayloadPiece> payload);

  private:
    const RecordInput& input_;
    ObjectName name_;
};

// A record of one message: admit, then emit.
void EmitFileRecord(const RecordInput& input, std::span<const PayloadPiece> payload);

}  // namespace vesk::driver
