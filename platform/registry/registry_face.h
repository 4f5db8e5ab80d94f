// What the kernel's registry routines need from the face they run on: the store. Internal to
// the platform layer.
#pragma once

#include "registry_store.h"

namespace kernel::face {

// The store of this face, or nullptr when it has none (every registry routine then fails with
// STATUS_REGISTRY_IO_FAILED). The simulated face uses the database a test opened; the Linux face
// the one in its state directory.
registry::RegistryStore* Registry();

}  // namespace kernel::face
