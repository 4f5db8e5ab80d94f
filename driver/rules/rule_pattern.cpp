#include "rule_pattern.h"

#include "names/counted_string.h"
#include "names/drive_letter_path.h"
#include "platform/kernel/string_routines.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS ResolveRulePattern(UnicodeString** pattern) {
    UnicodeString* kernelPath = nullptr;
    const NTSTATUS status = ConvertDriveLetterPath(**pattern, &kernelPath);
    if (!NtSuccess(status)) {
        return status;
    }
    if (kernelPath != nullptr) {
        FreeCountedString(*pattern);
        *pattern = kernelPath;
    }
    UpcaseUnicodeStringInPlace(*pattern);
    return STATUS_SUCCESS;
}

}  // namespace vesk::driver
