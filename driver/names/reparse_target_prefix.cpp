#include "reparse_target_prefix.h"

#include <string_view>

#include "counted_string.h"
#include "platform/kernel/string_routines.h"

namespace vesk::driver {

using namespace kernel;

namespace {

bool IsUpperLetter(char16_t c) {
    return c >= u'A' && c <= u'Z';
}

bool IsVolumeGuidPath(std::u16string_view t) {
    if (t.size() < 48) {
        return false;
    }
    if (t[0] != u'\\' || (t[1] != u'?' && t[1] != u'\\') || t[2] != u'?' || t[3] != u'\\' ||
        t.substr(4, 7) != u"Volume{" || t[47] != u'}') {
        return false;
    }
    for (std::size_t i : {19, 24, 29, 34}) {
        if (t[i] != u'-') {
            return false;
        }
    }
    return true;
}

}  // namespace

NTSTATUS ReparseTargetVolumePrefix(const UnicodeString& volumeName, const UnicodeString& target,
                                   std::uint16_t* prefixBytes) {
    const std::u16string_view t = View(target);
    if (target.Length > 11 && t.substr(0, 4) == u"\\??\\" && IsUpperLetter(t[4]) && t[5] == u':') {
        *prefixBytes = 12;
        return STATUS_SUCCESS;
    }
    if (target.Length > 27 && t.substr(0, 12) == u"\\DosDevices\\" && IsUpperLetter(t[12]) &&
        t[13] == u':') {
        *prefixBytes = 28;
        return STATUS_SUCCESS;
    }
    if (target.Length >= 96 && IsVolumeGuidPath(t)) {
        *prefixBytes = (target.Length > 97 && t[48] == u'\\') ? 98 : 96;
        return STATUS_SUCCESS;
    }
    if (volumeName.Length != 0 && PrefixUnicodeString(volumeName, target, true)) {
        *prefixBytes = static_cast<std::uint16_t>(volumeName.Length & ~1U);
        return STATUS_SUCCESS;
    }
    *prefixBytes = 0;
    return STATUS_NOT_SAME_DEVICE;
}

}  // namespace vesk::driver
