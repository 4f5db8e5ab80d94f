#include "node_table.h"

#include "../../fltmgr/fltmgr_core.h"
#include "text.h"

namespace linux_fuse {

NodeTable::NodeTable(flt::Volume* volume, std::string directory)
    : volume_(volume), directory_(std::move(directory)) {
    Node root;
    root.lookups = 1;
    root.stream = flt::core::NewPinnedStream(volume_, user::Utf8ToUtf16(directory_));
    nodes_[kRootNode] = root;
}

NodeTable::~NodeTable() {
    for (auto& [id, node] : nodes_) {
        flt::core::UnpinStream(node.stream);
    }
}

std::uint64_t NodeTable::Remember(std::uint64_t parent, const std::string& name, dev_t device,
                                  ino_t inode) {
    flt::Stream* created = nullptr;
    std::uint64_t id = 0;
    {
        std::lock_guard lock(lock_);
        if (nodes_.count(parent) == 0) {
            return 0;
        }
        auto known = byInode_.find({device, inode});
        if (known != byInode_.end()) {
            id = known->second;
            MoveLocked(id, parent, name);
            ++nodes_[id].lookups;
            return id;
        }
        id = nextNode_++;
        Node node;
        node.parent = parent;
        node.name = name;
        node.lookups = 1;
        node.device = device;
        node.inode = inode;
        nodes_[id] = node;
        byInode_[{device, inode}] = id;
        byName_[{parent, name}] = id;
        std::string relative;
        RelativePathLocked(id, &relative);
        created = flt::core::NewPinnedStream(volume_, user::Utf8ToUtf16(directory_ + "/" + relative));
        nodes_[id].stream = created;
    }
    return id;
}

void NodeTable::Forget(std::uint64_t id, std::uint64_t count) {
    flt::Stream* unpin = nullptr;
    {
        std::lock_guard lock(lock_);
        auto it = nodes_.find(id);
        if (it == nodes_.end() || id == kRootNode) {
            return;
        }
        Node& node = it->second;
        node.lookups = count >= node.lookups ? 0 : node.lookups - count;
        if (node.lookups != 0) {
            return;
        }
        // Children still known keep their parent's place; a forgotten parent is rare (the kernel
        // forgets children first) and only makes their paths unknown.
        unpin = node.stream;
        auto byInode = byInode_.find({node.device, node.inode});
        if (byInode != byInode_.end() && byInode->second == id) {
            byInode_.erase(byInode);
        }
        auto byName = byName_.find({node.parent, node.name});
        if (byName != byName_.end() && byName->second == id) {
            byName_.erase(byName);
        }
        nodes_.erase(it);
    }
    flt::core::UnpinStream(unpin);
}

std::uint64_t NodeTable::Find(std::uint64_t parent, const std::string& name) {
    std::lock_guard lock(lock_);
    auto it = byName_.find({parent, name});
    return it == byName_.end() ? 0 : it->second;
}

bool NodeTable::RelativePathLocked(std::uint64_t id, std::string* path) {
    if (id == kRootNode) {
        *path = ".";
        return true;
    }
    std::vector<const std::string*> parts;
    std::uint64_t at = id;
    while (at != kRootNode) {
        auto it = nodes_.find(at);
        if (it == nodes_.end() || parts.size() > 4096) {
            return false;
        }
        parts.push_back(&it->second.name);
        at = it->second.parent;
    }
    path->clear();
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        if (!path->empty()) {
            *path += '/';
        }
        *path += **part;
    }
    return true;
}

bool NodeTable::RelativePath(std::uint64_t id, std::string* path) {
    std::lock_guard lock(lock_);
    return RelativePathLocked(id, path);
}

bool NodeTable::FullPath(std::uint64_t id, std::string* path) {
    std::string relative;
    if (!RelativePath(id, &relative)) {
        return false;
    }
    *path = relative == "." ? directory_ : directory_ + "/" + relative;
    return true;
}

bool NodeTable::RelativePathOf(std::uint64_t parent, const std::string& name, std::string* path) {
    std::string base;
    if (!RelativePath(parent, &base)) {
        return false;
    }
    *path = base == "." ? name : base + "/" + name;
    return true;
}

std::string NodeTable::FullPathOf(std::uint64_t parent, const std::string& name) {
    std::string base;
    if (!FullPath(parent, &base)) {
        return {};
    }
    return base + "/" + name;
}

flt::Stream* NodeTable::StreamOf(std::uint64_t id) {
    std::lock_guard lock(lock_);
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second.stream;
}

void NodeTable::MoveLocked(std::uint64_t id, std::uint64_t parent, const std::string& name) {
    Node& node = nodes_[id];
    auto old = byName_.find({node.parent, node.name});
    if (old != byName_.end() && old->second == id) {
        byName_.erase(old);
    }
    node.parent = parent;
    node.name = name;
    byName_[{parent, name}] = id;
}

void NodeTable::Unlinked(std::uint64_t parent, const std::string& name) {
    std::lock_guard lock(lock_);
    byName_.erase({parent, name});
}

void NodeTable::Renamed(std::uint64_t oldParent, const std::string& oldName,
                        std::uint64_t newParent, const std::string& newName, bool exchange) {
    std::lock_guard lock(lock_);
    auto source = byName_.find({oldParent, oldName});
    const std::uint64_t moved = source != byName_.end() ? source->second : 0;
    auto target = byName_.find({newParent, newName});
    const std::uint64_t other = target != byName_.end() ? target->second : 0;
    if (other != 0) {
        byName_.erase(target);
    }
    if (moved != 0) {
        MoveLocked(moved, newParent, newName);
    }
    if (exchange && other != 0) {
        MoveLocked(other, oldParent, oldName);
    }
}

std::size_t NodeTable::Size() {
    std::lock_guard lock(lock_);
    return nodes_.size();
}

}  // namespace linux_fuse
