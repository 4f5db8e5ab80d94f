#include "symbolic_link_target.h"

#include "counted_string.h"
#include "platform/kernel/symbolic_link.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS QueryLinkTarget(const UnicodeString& objectName, UnicodeString** target) {
    *target = nullptr;
    SymbolicLink* link = nullptr;
    NTSTATUS status = OpenSymbolicLinkObject(objectName, &link);
    if (status == STATUS_OBJECT_TYPE_MISMATCH) {
        return STATUS_SUCCESS;
    }
    if (!NtSuccess(status)) {
        return status;
    }
    // Ask for the size first, then fetch into a string of exactly that size.
    UnicodeString probe{0, 0, nullptr};
    std::uint32_t needed = 0;
    status = QuerySymbolicLinkObject(link, &probe, &needed);
    if (status == STATUS_BUFFER_TOO_SMALL || NtSuccess(status)) {
        UnicodeString* result = nullptr;
        status = AllocateCountedString(needed > 2 ? needed - 2 : 0, PoolType::Paged, &result);
        if (NtSuccess(status)) {
            status = QuerySymbolicLinkObject(link, result, nullptr);
            if (NtSuccess(status)) {
                *target = result;
            } else {
                FreeCountedString(result);
            }
        }
    }
    CloseSymbolicLink(link);
    return status;
}

}  // namespace vesk::driver
