// The inodes the kernel knows on one filtered volume: FUSE node ids, each with its place (parent
// and name) and its lookup count, and the stream that stands for it in the filter manager. A
// node's path is rebuilt from its parents, so renaming a directory moves everything below it. A
// file with several names (hard links) is one node that knows each of its names; its path is the
// name used last that still exists.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace flt {
class Stream;
class Volume;
}  // namespace flt

namespace linux_fuse {

constexpr std::uint64_t kRootNode = 1;  // FUSE_ROOT_ID

class NodeTable {
  public:
    // The root node is the volume's directory; its stream is pinned for the table's life.
    NodeTable(flt::Volume* volume, std::string directory);
    ~NodeTable();

    // A node for the name below parent with the file's identity, its lookup count raised by
    // one: the existing node of that inode (the name added to its names) or a new one. The name
    // becomes the node's path unless current is false (a new hard link leaves the file's path as
    // it was). 0 when the parent is unknown.
    std::uint64_t Remember(std::uint64_t parent, const std::string& name, dev_t device, ino_t inode,
                           bool current = true);
    // Lowers the lookup count; the node goes (and its stream's pin) at zero.
    void Forget(std::uint64_t node, std::uint64_t count);

    // The node now known at that name, or 0.
    std::uint64_t Find(std::uint64_t parent, const std::string& name);

    // The path below the volume's directory ("." for the root), and the full Linux path.
    // False when the node is unknown.
    bool RelativePath(std::uint64_t node, std::string* path);
    bool FullPath(std::uint64_t node, std::string* path);
    std::string FullPathOf(std::uint64_t parent, const std::string& name);
    bool RelativePathOf(std::uint64_t parent, const std::string& name, std::string* path);

    // The node's stream (pinned while the node lives), or nullptr.
    flt::Stream* StreamOf(std::uint64_t node);

    // A name went away (unlink, rmdir, or the old name of a rename).
    void Unlinked(std::uint64_t parent, const std::string& name);
    void Renamed(std::uint64_t oldParent, const std::string& oldName, std::uint64_t newParent,
                 const std::string& newName, bool exchange);

    const std::string& directory() const { return directory_; }
    std::size_t Size();

  private:
    struct Place {
        std::uint64_t parent;
        std::string name;
        bool operator==(const Place&) const = default;
    };
    struct Node {
        std::vector<Place> places;  // the last is the current one
        std::uint64_t lookups = 0;
        dev_t device = 0;
        ino_t inode = 0;
        flt::Stream* stream = nullptr;
    };
    bool RelativePathLocked(std::uint64_t node, std::string* path);
    // Adds the place (or makes it current when known).
    void PlaceLocked(std::uint64_t node, const Place& place, bool current = true);
    // The node is no longer at place; it keeps its last place when it has no other.
    void RemovePlaceLocked(std::uint64_t node, const Place& place);

    flt::Volume* volume_;
    const std::string directory_;
    std::mutex lock_;
    std::map<std::uint64_t, Node> nodes_;
    std::map<std::pair<dev_t, ino_t>, std::uint64_t> byInode_;
    std::map<std::pair<std::uint64_t, std::string>, std::uint64_t> byName_;
    std::uint64_t nextNode_ = kRootNode + 1;
};

}  // namespace linux_fuse
