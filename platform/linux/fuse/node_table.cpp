#include "node_table.h"

#include <algorithm>

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
                                  ino_t inode, bool current) {
    std::lock_guard lock(lock_);
    if (nodes_.count(parent) == 0) {
        return 0;
    }
    auto known = byInode_.find({device, inode});
    if (known != byInode_.end()) {
        const std::uint64_t id = known->second;
        // Another file that had this name before (replaced behind the kernel's back) loses it.
        auto previous = byName_.find({parent, name});
        if (previous != byName_.end() && previous->second != id) {
            RemovePlaceLocked(previous->second, {parent, name});
        }
        PlaceLocked(id, {parent, name}, current);
        ++nodes_[id].lookups;
        return id;
    }
    const std::uint64_t id = nextNode_++;
    auto previous = byName_.find({parent, name});
    if (previous != byName_.end()) {
        RemovePlaceLocked(previous->second, {parent, name});
    }
    Node& node = nodes_[id];
    node.lookups = 1;
    node.device = device;
    node.inode = inode;
    PlaceLocked(id, {parent, name});
    byInode_[{device, inode}] = id;
    std::string relative;
    RelativePathLocked(id, &relative);
    node.stream = flt::core::NewPinnedStream(volume_, user::Utf8ToUtf16(directory_ + "/" + relative));
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
        for (const Place& place : node.places) {
            auto byName = byName_.find({place.parent, place.name});
            if (byName != byName_.end() && byName->second == id) {
                byName_.erase(byName);
            }
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
        path->assign(1, '.');  // not = ".": GCC 12 warns falsely (-Wrestrict) at -O2
        return true;
    }
    std::vector<const std::string*> parts;
    std::uint64_t at = id;
    while (at != kRootNode) {
        auto it = nodes_.find(at);
        if (it == nodes_.end() || parts.size() > 4096) {
            return false;
        }
        if (it->second.places.empty()) {
            return false;
        }
        parts.push_back(&it->second.places.back().name);
        at = it->second.places.back().parent;
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

void NodeTable::PlaceLocked(std::uint64_t id, const Place& place, bool current) {
    std::vector<Place>& places = nodes_[id].places;
    places.erase(std::remove(places.begin(), places.end(), place), places.end());
    places.insert(current ? places.end() : places.begin(), place);
    byName_[{place.parent, place.name}] = id;
}

void NodeTable::RemovePlaceLocked(std::uint64_t id, const Place& place) {
    auto byName = byName_.find({place.parent, place.name});
    if (byName != byName_.end() && byName->second == id) {
        byName_.erase(byName);
    }
    auto it = nodes_.find(id);
    if (it == nodes_.end()) {
        return;
    }
    std::vector<Place>& places = it->second.places;
    if (places.size() > 1) {
        places.erase(std::remove(places.begin(), places.end(), place), places.end());
    }
}

void NodeTable::Unlinked(std::uint64_t parent, const std::string& name) {
    std::lock_guard lock(lock_);
    auto it = byName_.find({parent, name});
    if (it != byName_.end()) {
        RemovePlaceLocked(it->second, {parent, name});
    }
}

void NodeTable::Renamed(std::uint64_t oldParent, const std::string& oldName,
                        std::uint64_t newParent, const std::string& newName, bool exchange) {
    std::lock_guard lock(lock_);
    auto source = byName_.find({oldParent, oldName});
    const std::uint64_t moved = source != byName_.end() ? source->second : 0;
    auto target = byName_.find({newParent, newName});
    const std::uint64_t other = target != byName_.end() ? target->second : 0;
    if (other != 0 && other != moved) {
        RemovePlaceLocked(other, {newParent, newName});
    }
    if (moved != 0) {
        RemovePlaceLocked(moved, {oldParent, oldName});
        std::vector<Place>& places = nodes_[moved].places;
        places.erase(std::remove(places.begin(), places.end(), Place{oldParent, oldName}),
                     places.end());
        PlaceLocked(moved, {newParent, newName});
    }
    if (exchange && other != 0 && other != moved) {
        PlaceLocked(other, {oldParent, oldName});
    }
}

std::size_t NodeTable::Size() {
    std::lock_guard lock(lock_);
    return nodes_.size();
}

}  // namespace linux_fuse
