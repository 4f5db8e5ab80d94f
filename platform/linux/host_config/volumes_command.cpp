#include "volumes_command.h"

#include <cstring>
#include <string>
#include <vector>

#include "volume_config.h"

namespace host_config {
namespace {

constexpr const char* kUsage =
    "usage: vesk-host volumes                list the directories offered as volumes\n"
    "       vesk-host volumes add DIR        offer DIR as a volume (from the next load)\n"
    "       vesk-host volumes remove DIR     stop offering DIR (from the next load)\n";

int Report(const VolumeResult& result, const char* done, std::ostream& out, std::ostream& err) {
    const std::string& dir = result.directory;
    switch (result.error) {
        case VolumeError::None:
            out << done << dir << " (takes effect at the next load)\n";
            return 0;
        case VolumeError::NotADirectory:
            err << "vesk-host: " << dir << " is not an existing directory: " << result.detail << "\n";
            return 1;
        case VolumeError::NotUtf8:
            err << "vesk-host: " << dir << " is not valid UTF-8, which the configuration cannot keep\n";
            return 1;
        case VolumeError::Root:
            err << "vesk-host: / cannot be a volume\n";
            return 1;
        case VolumeError::Reserved:
            err << "vesk-host: " << dir << " overlaps " << result.detail
                << ", where the host keeps its own state; it cannot be a volume\n";
            return 1;
        case VolumeError::AlreadyConfigured:
            err << "vesk-host: " << dir << " is already a volume\n";
            return 1;
        case VolumeError::Overlaps:
            err << "vesk-host: " << dir << " overlaps the volume " << result.detail
                << "; volumes may not lie inside one another\n";
            return 1;
        case VolumeError::NotConfigured:
            err << "vesk-host: " << dir << " is not a volume\n";
            return 1;
        case VolumeError::AccessDenied:
            err << "vesk-host: only root may change the volumes\n";
            return 4;
        case VolumeError::RegistryFailed:
            break;
    }
    err << "vesk-host: the registry could not be read or written\n";
    return 3;
}

}  // namespace

int RunVolumesCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    if (argc == 1) {
        std::vector<std::string> volumes;
        if (!ListVolumes(&volumes)) {
            err << "vesk-host: the registry could not be read\n";
            return 3;
        }
        if (volumes.empty()) {
            out << "no volumes configured\n";
        }
        for (const std::string& volume : volumes) {
            out << volume << "\n";
        }
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "add") == 0) {
        return Report(AddVolume(argv[2]), "added ", out, err);
    }
    if (argc == 3 && std::strcmp(argv[1], "remove") == 0) {
        return Report(RemoveVolume(argv[2]), "removed ", out, err);
    }
    err << kUsage;
    return 2;
}

}  // namespace host_config
