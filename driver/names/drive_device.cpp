#include "drive_device.h"

#include "counted_string.h"
#include "symbolic_link_target.h"

namespace vesk::driver {

using namespace kernel;

NTSTATUS GetDriveDevice(char16_t letter, const Luid* logonId, UnicodeString** device) {
    *device = nullptr;
    char16_t dosName[] = u"\\??\\A:";
    dosName[4] = letter;
    NTSTATUS status = QueryLinkTarget(ConstantUnicodeString(dosName), device);
    if (NtSuccess(status) && *device != nullptr) {
        return STATUS_SUCCESS;
    }
    if (NtSuccess(status)) {
        status = STATUS_OBJECT_TYPE_MISMATCH;  // a drive name that is no link has no device
    }
    if (logonId == nullptr) {
        return status;
    }
    char16_t buffer[256];  // 512 bytes
    UnicodeString sessionName{0, sizeof buffer, buffer};
    if (!NtSuccess(FormatCountedString(
            &sessionName, "\\Sessions\\%u\\DosDevices\\%08X-%08X\\A:", 0U,
            static_cast<unsigned>(logonId->HighPart), static_cast<unsigned>(logonId->LowPart)))) {
        return status;
    }
    buffer[sessionName.Length / sizeof(char16_t) - 2] = letter;
    UnicodeString* found = nullptr;
    if (NtSuccess(QueryLinkTarget(sessionName, &found)) && found != nullptr) {
        *device = found;
        return STATUS_SUCCESS;
    }
    return status;
}

}  // namespace vesk::driver
