// Routines a driver looks up by name at run time, because the running system may not offer them
// ("PsSetCreateProcessNotifyRoutineEx", "PsReferenceProcessFilePointer"). The caller casts the
// address to the routine's type, which the header that documents the routine declares.
#pragma once

namespace kernel {

// nullptr when the running system lacks the routine.
void* GetSystemRoutineAddress(const char* name);

}  // namespace kernel
