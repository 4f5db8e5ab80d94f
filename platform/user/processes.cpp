#include "platform/user/processes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/error_table.h"
#include "text.h"

namespace user {

std::uint32_t QueryProcessImageName(std::uint32_t processId, std::u16string* path) {
    if (processId == 0) {
        return 87;  // the idle process has no image
    }
    const std::string directory = "/proc/" + std::to_string(processId);
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0) {
        return errno == ENOENT ? 87 : platform::Win32FromErrno(errno);  // no such process
    }
    const std::string link = directory + "/exe";
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            // The process ended between the two looks, or it is a kernel thread without image.
            return errno == ENOENT ? 87 : platform::Win32FromErrno(errno);
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            *path = Utf8ToUtf16(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
            return 0;
        }
        if (buffer.size() >= (1u << 16)) {
            return 8;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace user
