// Which directories the host offers as volumes: host configuration in the registry, read by the
// host when it loads a driver (changes take effect at the next load).
//
// Kept in the value "Volumes" (REG_MULTI_SZ: each directory as UTF-16 with its terminator, then
// one more terminator) of the key "System\VeskHost" below HKEY_LOCAL_MACHINE. Every directory is
// canonical (absolute, resolved by realpath) and none is inside another, so no volume is ever
// mounted over a directory another volume already filters. "/" and the state and run directories
// (and anything inside or around them) are refused: the host keeps its registry and its sockets
// there and must never filter itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host_config {

constexpr std::u16string_view kHostKey = u"System\\VeskHost";
constexpr std::u16string_view kVolumesValue = u"Volumes";

enum class VolumeError {
    None,
    NotADirectory,      // does not exist, or is not a directory (detail: the reason)
    NotUtf8,            // the path is not valid UTF-8, which the registry cannot keep
    Root,               // "/"
    Reserved,           // the state or run directory, inside one, or around one (detail: it)
    AlreadyConfigured,  // detail: the canonical path
    Overlaps,           // inside or around a configured one (detail: that one)
    NotConfigured,      // (removal) detail: the path looked for
    AccessDenied,       // not root
    RegistryFailed,     // the registry could not be read or written
};

struct VolumeResult {
    VolumeError error = VolumeError::None;
    std::string directory;  // the canonical directory the call worked on
    std::string detail;
};

// Whether one of two canonical paths is the other or lies inside it.
bool PathsOverlap(std::string_view a, std::string_view b);

// The decision for a canonical directory against the configured and the reserved ones.
VolumeError CheckNewVolume(const std::string& canonical, const std::vector<std::string>& configured,
                           const std::vector<std::string>& reserved, std::string* conflict);

VolumeResult AddVolume(const std::string& directory);
VolumeResult RemoveVolume(const std::string& directory);
// The configured directories in the order they were added; false when the registry cannot be
// read (an absent registry or value is an empty list).
bool ListVolumes(std::vector<std::string>* directories);

// The value's data for a list and back; false for data that is not a well-formed multi-string.
std::vector<std::uint8_t> EncodeVolumes(const std::vector<std::string>& directories);
bool DecodeVolumes(const std::vector<std::uint8_t>& data, std::vector<std::string>* directories);

}  // namespace host_config
