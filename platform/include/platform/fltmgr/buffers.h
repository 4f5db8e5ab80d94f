// Reaching the data of a transfer from kernel mode: the caller's buffer may be a user buffer that
// must be locked and mapped first, and copying from it may fault.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fltmgr/callback_data.h"

namespace flt {

// Where the operation's transfer lives: its memory descriptor slot, its buffer and its length, as
// the parameters of its major function name them (read, write, the MDL transfers; the descriptor
// of an MDL transfer is its chain). STATUS_INVALID_PARAMETER for an operation that moves no data.
NTSTATUS DecodeParameters(CallbackData* data, Mdl** mdl, void** buffer, std::uint32_t* length);

// Locks the operation's user buffer and gives it a memory descriptor (in the operation's
// parameters, freed by the platform when the operation completes).
NTSTATUS LockUserBuffer(CallbackData* data);

// The descriptor's system mapping, mapping it first when it has none (kernel mode, cached, normal
// priority): nullptr instead of stopping the system when no mapping can be had.
void* MapLockedPages(Mdl* mdl);

}  // namespace flt

namespace kernel {

// Copies caller memory that may fault (a user buffer, a descriptor the caller handed in) into
// kernel memory: STATUS_ACCESS_VIOLATION instead of a crash when the source cannot be read.
constexpr NTSTATUS STATUS_ACCESS_VIOLATION = static_cast<NTSTATUS>(0xC0000005U);
NTSTATUS CopyFromCallerMemory(void* destination, const void* source, std::size_t length);

}  // namespace kernel
