#include "platform/user/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "text.h"

namespace user {

std::uint32_t ResolveExistingFile(std::u16string_view path, std::u16string* absolute) {
    const std::string name = Utf16ToUtf8(path);
    char resolved[PATH_MAX];
    if (name.empty() || realpath(name.c_str(), resolved) == nullptr) {
        switch (errno) {
            case EACCES:
                return 5;
            case ENOTDIR:
                return 3;
            default:
                return 2;
        }
    }
    struct stat st {};
    if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode)) {
        return 2;
    }
    *absolute = Utf8ToUtf16(resolved);
    return 0;
}

}  // namespace user
