// Threads and processes as the kernel's object manager sees them. The objects are opaque here:
// each face of the platform defines them (the simulated world or the real machine), and code
// above the platform reaches them only through these functions.
#pragma once

#include <cstdint>

#include "platform/kernel/status.h"

namespace kernel {

class Thread;
class Process;

// Object references. Every Lookup/Reference is paired with one Dereference.
void ReferenceObject(Thread* thread);
void DereferenceObject(Thread* thread);
void ReferenceObject(Process* process);
void DereferenceObject(Process* process);

// The thread running the caller. Not referenced: valid while the caller runs on it.
Thread* CurrentThread();

// Referenced thread object for a thread id; STATUS_INVALID_PARAMETER when no such thread lives.
NTSTATUS LookupThreadByThreadId(std::uint32_t threadId, Thread** thread);

std::uint32_t ThreadId(Thread* thread);
bool IsSystemThread(Thread* thread);

// The process owning a thread. Not referenced: valid while the thread is referenced.
Process* ThreadToProcess(Thread* thread);
std::uint32_t ProcessId(Process* process);
std::uint32_t ProcessSessionId(Process* process);

// System threads run kernel routines in the system process. The routine's return ends the
// thread. The returned thread object is referenced; WaitForThread blocks until the thread ended.
using SystemThreadRoutine = void (*)(void* context);
NTSTATUS CreateSystemThread(SystemThreadRoutine routine, void* context, Thread** thread);
void WaitForThread(Thread* thread);

}  // namespace kernel
