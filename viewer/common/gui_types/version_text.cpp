#include "gui_types/version_text.h"

#include <vesk_version.h>

namespace nimbrel {

std::string FormatVersionText(int major, int minor, int release, int build) {
    std::string text =
        std::to_string(major) + '.' + std::to_string(minor) + '.' + std::to_string(release);
    if (build != 0) {
        text += " build " + std::to_string(build);
    }
    return text;
}

std::string VersionText() {
    // A version given with fewer than four parts leaves the missing macros empty; "+ 0" reads an
    // empty one as 0, as a version without that part means.
    return FormatVersionText(VESK_VERSION_MAJOR + 0, VESK_VERSION_MINOR + 0,
                             VESK_VERSION_RELEASE + 0, VESK_VERSION_BUILD + 0);
}

}  // namespace nimbrel
