// Installing and removing the driver's service with its minifilter instance settings.

#include <cstring>
#include <string>

#include "last_error.h"
#include "library_strings.h"
#include "platform/user/files.h"
#include "platform/user/services.h"
#include "platform/user/shell_values.h"
#include "vesk/vesklib.h"

namespace vesk::engine {
namespace {

constexpr char16_t kServiceName[] = u"TallowmereVesk";
constexpr char16_t kDefaultDisplayName[] = u"Vesk (Tallowmere)";
constexpr char16_t kInstancesKey[] = u"System\\CurrentControlSet\\Services\\TallowmereVesk\\Instances";
constexpr char16_t kInstanceKey[] =
    u"System\\CurrentControlSet\\Services\\TallowmereVesk\\Instances\\Instance 0";
constexpr char16_t kDefaultInstance[] = u"Instance 0";

// Text with its terminator, as REG_SZ data.
std::uint32_t SetString(const char16_t* key, const char16_t* name, const char16_t* text) {
    const auto bytes = static_cast<std::uint32_t>((TextLength(text) + 1) * sizeof(char16_t));
    return user::SetMachineValue(key, name, user::kRegSz, text, bytes);
}

}  // namespace
}  // namespace vesk::engine

using namespace vesk::engine;

extern "C" {

VESK_API VeskBool VeskInstall(const VeskChar* displayName, const VeskChar* driverPath,
                              uint32_t startAtBoot, const VeskChar* altitude, uint32_t flags) {
    // A null altitude would leave the instance without one; it is refused with the path checks,
    // before anything is written.
    if (driverPath == nullptr || altitude == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    // The host may start in any directory, so the service records where the image really is.
    std::u16string imagePath;
    std::uint32_t error =
        user::ResolveExistingFile(std::u16string(driverPath, TextLength(driverPath)), &imagePath);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    user::ServiceManagerHandle manager;
    error = user::OpenServiceManager(user::kScManagerConnect | user::kScManagerCreateService,
                                     &manager);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    user::ServiceConfig config;
    config.type = user::kServiceKernelDriver;
    config.start = startAtBoot != 0 ? user::kServiceSystemStart : user::kServiceDemandStart;
    config.errorControl = user::kServiceErrorNormal;
    config.imagePath = imagePath;
    config.displayName = displayName != nullptr ? displayName : kDefaultDisplayName;
    user::ServiceHandle service;
    error = user::CreateService(manager, kServiceName, user::kServiceAllAccess, config, &service);
    // An existing service is kept as it is: only the instance values below are written again.
    if (error != 0 && error != user::kErrorServiceExists) {
        SetLastError(error);
        return 0;
    }
    error = SetString(kInstancesKey, u"DefaultInstance", kDefaultInstance);
    if (error == 0) {
        error = SetString(kInstanceKey, u"Altitude", altitude);
    }
    if (error == 0) {
        const std::uint32_t value = flags;
        error = user::SetMachineValue(kInstanceKey, u"Flags", user::kRegDword, &value,
                                      sizeof value);
    }
    SetLastError(error);
    return error == 0;
}

VESK_API VeskBool VeskUninstall(void) {
    user::ServiceManagerHandle manager;
    std::uint32_t error = user::OpenServiceManager(user::kScManagerConnect, &manager);
    if (error != 0) {
        SetLastError(error);
        return 0;
    }
    user::ServiceHandle service;
    error = user::OpenService(manager, kServiceName, user::kServiceDelete, &service);
    if (error == 0) {
        error = user::DeleteService(service);
    }
    // Gone already, or going once its driver is unloaded: either way it is uninstalled.
    if (error == user::kErrorServiceDoesNotExist || error == user::kErrorServiceMarkedForDelete) {
        error = 0;
    }
    SetLastError(error);
    return error == 0;
}

}  // extern "C"
