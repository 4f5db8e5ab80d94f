// Entries of /proc/<pid>/mountinfo, and the FUSE mounts of our hosts among them.
//
// A line is: mount id, parent id, major:minor, root, mount point, options, optional fields up to
// a lone "-", then the file-system type, the source and the super-block options. Paths escape
// space, tab, newline and backslash as a backslash and three octal digits ("\040").
//
// Our hosts mount every volume with file-system type "fuse.vesk" (subtype "vesk") and source
// "vesk" (fsname).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mounts {

struct MountEntry {
    int id = 0;
    int parentId = 0;
    std::string device;  // "major:minor" of the mounted file system
    std::string root;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

constexpr std::string_view kVeskFsType = "fuse.vesk";
constexpr std::string_view kVeskSource = "vesk";

// Undoes the octal escapes; a backslash not followed by three octal digits stays as it is.
std::string UnescapeMountPath(std::string_view text);

// Nothing for a malformed line.
std::optional<MountEntry> ParseMountInfoLine(std::string_view line);

// Every well-formed line of the text (malformed ones are skipped).
std::vector<MountEntry> ParseMountInfo(std::string_view text);

bool IsVeskMount(const MountEntry& entry);

}  // namespace mounts
