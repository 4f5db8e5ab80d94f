#include "run_directory.h"

#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>

namespace port_socket {

namespace {

// $VESK_ROOT/leaf when VESK_ROOT is set and not empty, otherwise the machine's directory.
std::string UnderRoot(const char* leaf, const char* machineDirectory) {
    const char* root = std::getenv("VESK_ROOT");
    if (root != nullptr && *root != '\0') {
        std::string directory(root);
        while (directory.size() > 1 && directory.back() == '/') {
            directory.pop_back();
        }
        return directory + "/" + leaf;
    }
    return machineDirectory;
}

}  // namespace

std::string RunDirectory() {
    return UnderRoot("run", "/run/vesk");
}

std::string StateDirectory() {
    return UnderRoot("state", "/var/lib/vesk");
}

std::string SocketPathForPort(std::string_view portName) {
    while (!portName.empty() && portName.front() == '\\') {
        portName.remove_prefix(1);
    }
    if (portName.empty()) {
        return {};
    }
    std::string file;
    for (char c : portName) {
        file += (c == '\\' || c == '/') ? '-' : c;
    }
    std::string path = RunDirectory() + "/" + file + ".sock";
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        return {};
    }
    return path;
}

bool EnsureRunDirectory(const std::string& directory) {
    std::string prefix;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = directory.find('/', at + 1);
        prefix = directory.substr(0, at);
        if (prefix.empty()) {
            continue;
        }
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace port_socket
