#include "drive_letter_path.h"

#include "counted_string.h"
#include "drive_device.h"
#include "network_name.h"

namespace vesk::driver {

using namespace kernel;

bool IsDriveLetterPath(const UnicodeString& path) {
    if (path.Length < 4) {
        return false;
    }
    const char16_t letter = path.Buffer[0];
    const bool isLetter = (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
    return isLetter && path.Buffer[1] == u':';
}

NTSTATUS ConvertDriveLetterPath(const UnicodeString& path, UnicodeString** kernelPath) {
    *kernelPath = nullptr;
    if (!IsDriveLetterPath(path)) {
        return STATUS_SUCCESS;
    }
    CountedStringHolder device;
    NTSTATUS status = GetDriveDevice(path.Buffer[0], nullptr, device.Receive());
    if (!NtSuccess(status)) {
        return status;
    }
    // Network names are rewritten through their redirector's link; any other device name (the
    // conversion fails for it) is used as it is.
    CountedStringHolder rewritten;
    std::uint16_t prefixChars = 0;
    status = ConvertNetworkName(*device.Get(), rewritten.Receive(), &prefixChars);
    const UnicodeString& base =
        NtSuccess(status) && rewritten.Get() != nullptr ? *rewritten.Get() : *device.Get();
    return ConcatenateCountedString(View(base), View(path).substr(2), PoolType::Paged, kernelPath);
}

}  // namespace vesk::driver
