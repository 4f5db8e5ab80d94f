// install and uninstall: the driver's registration as a service with its filter instance.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine_commands.h"
#include "text_conversion.h"
#include "vesk/vesklib.h"

namespace vesk::console {

namespace {

constexpr const char* kDriverFileName = "vesk.sys";
constexpr const char16_t* kDisplayName = u"Vesk Engine";
constexpr const char16_t* kAltitude = u"265000";
constexpr std::uint32_t kStartAtBoot = 1;
constexpr std::uint32_t kInstanceFlags = 0;
// The longest path the system takes, terminator included.
constexpr std::size_t kMaxPath = PATH_MAX;

// The working directory, or nothing.
std::optional<std::string> CurrentDirectory() {
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (cwd == nullptr) {
        return std::nullopt;
    }
    return std::string(cwd.get());
}

// "." and ".." are resolved in the text, as the user wrote them, without following symbolic
// links; the result has no trailing separator unless it is the root.
std::string Canonicalize(const std::string& absolute) {
    std::string text = std::filesystem::path(absolute).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool FileExists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

void PrintFailure(Output& out, const char* message) {
    const std::uint32_t code = VeskGetErrorCode();
    out.Write(message);
    out.Print("         Win32 error code = %u (0x%X).\r\n", code, code);
}

}  // namespace

void RunInstall(Output& out, std::string_view directory) {
    out.Write("Installing...\r\n  Searching for files...\r\n");
    out.Print("  Directory path is:\r\n    %.*s\r\n", static_cast<int>(directory.size()),
              directory.data());

    std::string full(directory);
    if (directory.empty() || directory.front() != '/') {
        const std::optional<std::string> cwd = CurrentDirectory();
        if (!cwd) {
            out.Write("  ERROR: couldn't get current directory path.\r\n");
            return;
        }
        full = directory.empty() ? *cwd : *cwd + "/" + full;
        if (full.size() >= kMaxPath) {
            out.Write("  ERROR: couldn't create full path string.\r\n");
            return;
        }
    }
    const std::string canonical = Canonicalize(full);
    if (canonical.size() >= kMaxPath) {
        out.Write("  ERROR: couldn't canonicalize directory path.\r\n");
        return;
    }
    out.Print("  Canonicalized path is:\r\n    %s\r\n", canonical.c_str());

    const std::string driverFile =
        canonical == "/" ? "/" + std::string(kDriverFileName) : canonical + "/" + kDriverFileName;
    if (driverFile.size() >= kMaxPath) {
        out.Write("  ERROR: couldn't create engine .sys file name string.\r\n");
        return;
    }
    if (!FileExists(driverFile)) {
        out.Write("  ERROR: engine .sys file couldn't be found:\r\n");
        out.Print("         %s\r\n", driverFile.c_str());
        return;
    }
    out.Print("  Filter driver found:\r\n    %s\r\n", kDriverFileName);
    out.Write("  Installing modules...\r\n");
    if (!VeskInstall(kDisplayName, FromUtf8(driverFile).c_str(), kStartAtBoot, kAltitude,
                     kInstanceFlags)) {
        PrintFailure(out, "  ERROR: modules couldn't be installed into the system.\r\n");
        return;
    }
    out.Write("Success.\r\n");
}

void RunUninstall(Output& out) {
    out.Write("Uninstalling...\r\n  Uninstalling modules...\r\n");
    if (!VeskUninstall()) {
        PrintFailure(out, "  ERROR: modules couldn't be uninstalled.\r\n");
        return;
    }
    out.Write("Success.\r\n");
}

}  // namespace vesk::console
