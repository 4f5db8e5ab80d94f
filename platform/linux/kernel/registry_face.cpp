// The registry of the real machine: the database in the state directory, opened when the kernel
// starts and closed when it stops.
#include <sys/stat.h>

#include <memory>
#include <mutex>

#include "../../registry/registry_face.h"
#include "linux_face.h"
#include "run_directory.h"

namespace linux_kernel {
namespace {

std::mutex openLock;
std::unique_ptr<registry::RegistryStore> store;

}  // namespace

std::string RegistryPath() {
    return port_socket::StateDirectory() + "/registry.db";
}

bool OpenRegistry() {
    std::lock_guard lock(openLock);
    if (store != nullptr) {
        return true;
    }
    const std::string directory = port_socket::StateDirectory();
    if (!port_socket::EnsureRunDirectory(directory)) {
        return false;
    }
    store = registry::RegistryStore::Open(RegistryPath(), nullptr, nullptr, false);
    return store != nullptr;
}

void CloseRegistry() {
    std::lock_guard lock(openLock);
    store.reset();
}

}  // namespace linux_kernel

namespace kernel::face {

registry::RegistryStore* Registry() {
    return linux_kernel::store.get();
}

}  // namespace kernel::face
