#include "sim_registry.h"

#include <memory>
#include <mutex>

#include "../registry/registry_face.h"

namespace sim {
namespace {

// Open and Close happen between tests or between steps of one test, never while kernel code
// uses the store, so the pointer itself needs no lock beyond its publication.
std::mutex openLock;
std::unique_ptr<registry::RegistryStore> store;

}  // namespace

bool Registry::Open(const std::string& path, bool readOnly) {
    std::lock_guard lock(openLock);
    store.reset();
    store = registry::RegistryStore::Open(path, nullptr, nullptr, readOnly);
    return store != nullptr;
}

void Registry::Close() {
    std::lock_guard lock(openLock);
    store.reset();
}

}  // namespace sim

namespace kernel::face {

registry::RegistryStore* Registry() {
    return sim::store.get();
}

}  // namespace kernel::face
