#include "platform/user/shell_values.h"

#include <span>

#include "platform/user/machine_registry.h"

namespace user {

std::uint32_t SetMachineValue(std::u16string_view subKey, std::u16string_view valueName,
                              std::uint32_t type, const void* data, std::uint32_t size) {
    if (data == nullptr && size != 0) {
        return 87;  // ERROR_INVALID_PARAMETER
    }
    std::unique_ptr<registry::RegistryStore> store;
    std::uint32_t error = OpenMachineRegistryForWrite(&store);
    if (error != 0) {
        return error;
    }
    registry::KeyId key = 0;
    error = Win32FromRegistryResult(store->CreateKey(registry::kRootKey, MachineKeyPath(subKey), &key));
    if (error != 0) {
        return error;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Win32FromRegistryResult(
        store->SetValue(key, valueName, type, std::span<const std::uint8_t>(bytes, size)));
}

}  // namespace user
