// Rule patterns in their final form: drive letters rewritten to the device they stand for, and
// upper case, so that every check can match ignoring case without touching the pattern again.
#pragma once

#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

namespace vesk::driver {

// *pattern is a counted string owned by the caller. On success it is replaced by its resolved
// form (the old one freed) when the pattern was in drive-letter form, and upper-cased in place.
// On failure (the drive letter does not resolve now, or no memory) it is left exactly as it was.
kernel::NTSTATUS ResolveRulePattern(kernel::UnicodeString** pattern);

}  // namespace vesk::driver
