// The machine's registry as user mode sees it: the registry store in the state directory
// ("<state directory>/registry.db", the same database the host's kernel routines use), with the
// keys below HKEY_LOCAL_MACHINE ("System\CurrentControlSet\...") stored at
// "REGISTRY\MACHINE\System\CurrentControlSet\...", where the kernel finds them.
//
// The database belongs to root: only root opens it for writing. Everyone else reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "registry_store.h"

namespace user {

// "REGISTRY\MACHINE\" followed by subKey (without its leading backslash).
std::u16string MachineKeyPath(std::u16string_view subKey);

// The same key as the kernel names it: "\REGISTRY\MACHINE\" followed by subKey.
std::u16string KernelMachineKeyPath(std::u16string_view subKey);

std::string RegistryDatabasePath();

// Whether the caller may change the machine's configuration (root).
bool IsAdministrator();

// Opens the database for writing, creating the state directory and the database when missing.
// 0, or 5 when the caller is not root, or 1016 when the database cannot be opened.
std::uint32_t OpenMachineRegistryForWrite(std::unique_ptr<registry::RegistryStore>* store);

// Opens the database for reading. A database that does not exist yet is an empty registry:
// 0 with *store null. 1016 when it exists but cannot be opened.
std::uint32_t OpenMachineRegistryForRead(std::unique_ptr<registry::RegistryStore>* store);

// The Win32 code of a store result (0, 2 not found, 123 invalid name, 1016 I/O failed, 259 no
// more entries).
std::uint32_t Win32FromRegistryResult(registry::Result result);

}  // namespace user
