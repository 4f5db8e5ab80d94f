#include "volume_name.h"

#include "counted_string.h"
#include "platform/fltmgr/names.h"
#include "reparse_target_prefix.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS GetVolumeNameString(flt::Volume* volume, UnicodeString** name) {
    *name = nullptr;
    UnicodeString probe{0, 0, nullptr};
    NTSTATUS status = flt::GetVolumeName(volume, &probe);
    if (status != STATUS_BUFFER_TOO_SMALL && !NtSuccess(status)) {
        return status;
    }
    UnicodeString* result = nullptr;
    status = AllocateCountedString(probe.Length, PoolType::Paged, &result);
    if (!NtSuccess(status)) {
        return status;
    }
    // The capacity covers the text only, so that the name is fetched exactly; the zero goes in
    // the room the counted string keeps after it.
    const std::uint16_t capacity = result->MaximumLength;
    result->MaximumLength = probe.Length;
    status = flt::GetVolumeName(volume, result);
    result->MaximumLength = capacity;
    if (!NtSuccess(status)) {
        FreeCountedString(result);
        return status;
    }
    result->Buffer[result->Length / sizeof(char16_t)] = u'\0';
    *name = result;
    return STATUS_SUCCESS;
}

NTSTATUS ReparseTargetVolumePrefixOfInstance(flt::Instance* instance, const UnicodeString& target,
                                             std::uint16_t* prefixBytes) {
    *prefixBytes = 0;
    const UnicodeString none{0, 0, nullptr};
    // The fixed forms need no volume name.
    if (NtSuccess(ReparseTargetVolumePrefix(none, target, prefixBytes))) {
        return STATUS_SUCCESS;
    }
    flt::Volume* volume = nullptr;
    NTSTATUS status = flt::GetVolumeFromInstance(instance, &volume);
    if (!NtSuccess(status)) {
        return status;
    }
    CountedStringHolder name;
    status = GetVolumeNameString(volume, name.Receive());
    flt::ObjectDereference(volume);
    if (!NtSuccess(status)) {
        return status;
    }
    return ReparseTargetVolumePrefix(*name.Get(), target, prefixBytes);
}

}  // namespace vesk::driver
