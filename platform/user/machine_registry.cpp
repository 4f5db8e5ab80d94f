#include "platform/user/machine_registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "run_directory.h"

namespace user {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorRegistryIoFailed = 1016;

std::u16string_view WithoutLeadingBackslash(std::u16string_view subKey) {
    while (!subKey.empty() && subKey.front() == u'\\') {
        subKey.remove_prefix(1);
    }
    return subKey;
}

}  // namespace

std::u16string MachineKeyPath(std::u16string_view subKey) {
    return u"REGISTRY\\MACHINE\\" + std::u16string(WithoutLeadingBackslash(subKey));
}

std::u16string KernelMachineKeyPath(std::u16string_view subKey) {
    return u"\\" + MachineKeyPath(subKey);
}

std::string RegistryDatabasePath() {
    return port_socket::StateDirectory() + "/registry.db";
}

bool IsAdministrator() {
    return geteuid() == 0;
}

std::uint32_t OpenMachineRegistryForWrite(std::unique_ptr<registry::RegistryStore>* store) {
    store->reset();
    if (!IsAdministrator()) {
        return kErrorAccessDenied;
    }
    if (!port_socket::EnsureRunDirectory(port_socket::StateDirectory())) {
        return kErrorRegistryIoFailed;
    }
    *store = registry::RegistryStore::Open(RegistryDatabasePath(), nullptr);
    return *store ? 0 : kErrorRegistryIoFailed;
}

std::uint32_t OpenMachineRegistryForRead(std::unique_ptr<registry::RegistryStore>* store) {
    store->reset();
    const std::string path = RegistryDatabasePath();
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? 0 : kErrorRegistryIoFailed;
    }
    *store = registry::RegistryStore::Open(path, nullptr, nullptr, !IsAdministrator());
    return *store ? 0 : kErrorRegistryIoFailed;
}

std::uint32_t Win32FromRegistryResult(registry::Result result) {
    switch (result) {
        case registry::Result::Ok:
            return 0;
        case registry::Result::NotFound:
            return 2;  // ERROR_FILE_NOT_FOUND
        case registry::Result::NoMoreEntries:
            return 259;  // ERROR_NO_MORE_ITEMS
        case registry::Result::InvalidName:
            return 123;  // ERROR_INVALID_NAME
        case registry::Result::IoError:
            break;
    }
    return kErrorRegistryIoFailed;
}

}  // namespace user
