#include "platform/user/services.h"

#include <cstring>
#include <vector>

#include "host_lock.h"
#include "platform/user/machine_registry.h"

namespace user {
namespace {

constexpr std::uint32_t kReadOnlyManagerRights =
    kScManagerConnect | kScManagerEnumerateService | 0x0010 /* query lock status */;
constexpr std::uint32_t kReadOnlyServiceRights =
    kServiceQueryConfig | kServiceQueryStatus | 0x0008 /* enumerate dependents */ |
    0x0080 /* interrogate */ | 0x20000 /* read control */;
constexpr std::size_t kMaxServiceNameChars = 256;

bool ValidName(std::u16string_view name) {
    if (name.empty() || name.size() > kMaxServiceNameChars) {
        return false;
    }
    for (char16_t c : name) {
        if (c == u'\\' || c == u'/' || c == 0) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> StringData(std::u16string_view text) {
    std::vector<std::uint8_t> data((text.size() + 1) * 2, 0);
    if (!text.empty()) {
        std::memcpy(data.data(), text.data(), text.size() * 2);
    }
    return data;
}

std::vector<std::uint8_t> DwordData(std::uint32_t value) {
    std::vector<std::uint8_t> data(4);
    std::memcpy(data.data(), &value, 4);
    return data;
}

bool ReadDword(registry::RegistryStore& store, registry::KeyId key, std::u16string_view name,
               std::uint32_t* value) {
    registry::Value read;
    if (store.QueryValue(key, name, &read) != registry::Result::Ok || read.data.size() != 4) {
        return false;
    }
    std::memcpy(value, read.data.data(), 4);
    return true;
}

std::u16string ReadString(registry::RegistryStore& store, registry::KeyId key,
                          std::u16string_view name) {
    registry::Value read;
    if (store.QueryValue(key, name, &read) != registry::Result::Ok) {
        return {};
    }
    std::u16string text(read.data.size() / 2, u'\0');
    if (!text.empty()) {
        std::memcpy(text.data(), read.data.data(), text.size() * 2);
    }
    const std::size_t end = text.find(u'\0');
    if (end != std::u16string::npos) {
        text.resize(end);
    }
    return text;
}

// The service's key when it exists and is a service (it has a "Type").
std::uint32_t FindService(registry::RegistryStore* store, std::u16string_view name,
                          registry::KeyId* key) {
    std::uint32_t type = 0;
    if (store == nullptr ||
        store->OpenKey(registry::kRootKey, MachineKeyPath(ServiceKey(name)), key) !=
            registry::Result::Ok ||
        !ReadDword(*store, *key, u"Type", &type)) {
        return kErrorServiceDoesNotExist;
    }
    return 0;
}

bool MarkedForDelete(registry::RegistryStore& store, registry::KeyId key) {
    std::uint32_t flag = 0;
    return ReadDword(store, key, u"DeleteFlag", &flag) && flag != 0;
}

}  // namespace

std::u16string ServiceKey(std::u16string_view name) {
    return u"System\\CurrentControlSet\\Services\\" + std::u16string(name);
}

std::uint32_t OpenServiceManager(std::uint32_t access, ServiceManagerHandle* manager) {
    if ((access & ~kReadOnlyManagerRights) != 0 && !IsAdministrator()) {
        return kErrorServiceAccessDenied;
    }
    manager->access = access;
    return 0;
}

std::uint32_t CreateService(const ServiceManagerHandle& manager, std::u16string_view name,
                            std::uint32_t access, const ServiceConfig& config,
                            ServiceHandle* service) {
    if ((manager.access & kScManagerCreateService) == 0) {
        return kErrorServiceAccessDenied;
    }
    if (!ValidName(name)) {
        return kErrorServiceInvalidName;
    }
    std::unique_ptr<registry::RegistryStore> store;
    std::uint32_t error = OpenMachineRegistryForWrite(&store);
    if (error != 0) {
        return error;
    }
    registry::KeyId key = 0;
    if (FindService(store.get(), name, &key) == 0) {
        return MarkedForDelete(*store, key) ? kErrorServiceMarkedForDelete : kErrorServiceExists;
    }
    error = Win32FromRegistryResult(
        store->CreateKey(registry::kRootKey, MachineKeyPath(ServiceKey(name)), &key));
    // "Type" goes last: until it is written the key is not a service, so a failure part way
    // leaves no half service behind for OpenService to find.
    const struct {
        std::u16string_view name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    } values[] = {
        {u"Start", 4, DwordData(config.start)},
        {u"ErrorControl", 4, DwordData(config.errorControl)},
        {u"ImagePath", 1, StringData(config.imagePath)},
        {u"DisplayName", 1, StringData(config.displayName.empty() ? name : config.displayName)},
        {u"Type", 4, DwordData(config.type)},
    };
    for (const auto& value : values) {
        if (error != 0) {
            break;
        }
        error = Win32FromRegistryResult(store->SetValue(key, value.name, value.type, value.data));
    }
    if (error != 0) {
        return error;
    }
    service->name = std::u16string(name);
    service->access = access;
    return 0;
}

std::uint32_t OpenService(const ServiceManagerHandle&, std::u16string_view name,
                          std::uint32_t access, ServiceHandle* service) {
    if (!ValidName(name)) {
        return kErrorServiceInvalidName;
    }
    if ((access & ~kReadOnlyServiceRights) != 0 && !IsAdministrator()) {
        return kErrorServiceAccessDenied;
    }
    std::unique_ptr<registry::RegistryStore> store;
    std::uint32_t error = OpenMachineRegistryForRead(&store);
    registry::KeyId key = 0;
    if (error == 0) {
        error = FindService(store.get(), name, &key);
    }
    if (error != 0) {
        return error;
    }
    service->name = std::u16string(name);
    service->access = access;
    return 0;
}

std::uint32_t QueryServiceConfig(const ServiceHandle& service, ServiceConfig* config) {
    if ((service.access & kServiceQueryConfig) == 0) {
        return kErrorServiceAccessDenied;
    }
    std::unique_ptr<registry::RegistryStore> store;
    std::uint32_t error = OpenMachineRegistryForRead(&store);
    registry::KeyId key = 0;
    if (error == 0) {
        error = FindService(store.get(), service.name, &key);
    }
    if (error != 0) {
        return error;
    }
    ReadDword(*store, key, u"Type", &config->type);
    ReadDword(*store, key, u"Start", &config->start);
    ReadDword(*store, key, u"ErrorControl", &config->errorControl);
    config->imagePath = ReadString(*store, key, u"ImagePath");
    config->displayName = ReadString(*store, key, u"DisplayName");
    return 0;
}

bool ServiceMarkedForDelete(std::u16string_view name) {
    std::unique_ptr<registry::RegistryStore> store;
    registry::KeyId key = 0;
    return OpenMachineRegistryForRead(&store) == 0 && FindService(store.get(), name, &key) == 0 &&
           MarkedForDelete(*store, key);
}

std::uint32_t DeleteService(const ServiceHandle& service) {
    if ((service.access & kServiceDelete) == 0) {
        return kErrorServiceAccessDenied;
    }
    std::unique_ptr<registry::RegistryStore> store;
    std::uint32_t error = OpenMachineRegistryForWrite(&store);
    registry::KeyId key = 0;
    if (error == 0) {
        error = FindService(store.get(), service.name, &key);
    }
    if (error != 0) {
        return error;
    }
    if (MarkedForDelete(*store, key)) {
        return kErrorServiceMarkedForDelete;
    }
    if (host_control::HostRunning()) {
        return Win32FromRegistryResult(store->SetValue(key, u"DeleteFlag", 4, DwordData(1)));
    }
    return Win32FromRegistryResult(
        store->DeleteKey(registry::kRootKey, MachineKeyPath(ServiceKey(service.name))));
}

void RemoveServiceMarkedForDelete(std::u16string_view name) {
    std::unique_ptr<registry::RegistryStore> store;
    registry::KeyId key = 0;
    if (OpenMachineRegistryForWrite(&store) == 0 && FindService(store.get(), name, &key) == 0 &&
        MarkedForDelete(*store, key)) {
        store->DeleteKey(registry::kRootKey, MachineKeyPath(ServiceKey(name)));
    }
}

}  // namespace user
