// Reading a symbolic link of the object namespace.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// *target receives the link's target as a counted string the caller frees, or nullptr when the
// object exists but is not a symbolic link (that is not an error). Fails with the lookup's status
// (no such object, no such directory) or STATUS_INSUFFICIENT_RESOURCES.
kernel::NTSTATUS QueryLinkTarget(const kernel::UnicodeString& objectName,
                                 kernel::UnicodeString** target);

}  // namespace vesk::driver
