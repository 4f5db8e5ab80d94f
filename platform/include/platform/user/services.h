// The service manager of the user-mode face.
//
// A service is the registry key "System\CurrentControlSet\Services\<name>" below
// HKEY_LOCAL_MACHINE with these values:
//   "Type"          REG_DWORD  1 (kernel driver)
//   "Start"         REG_DWORD  1 (system start) or 3 (on demand); the host is started on demand
//                              either way, nothing starts it at boot yet
//   "ErrorControl"  REG_DWORD  1 (normal)
//   "ImagePath"     REG_SZ     the driver image (a shared object) the host loads
//   "DisplayName"   REG_SZ     the name people see
//   "DeleteFlag"    REG_DWORD  1 while the service is marked for deletion (see DeleteService)
// A key without "Type" is not a service (a driver's own keys may outlive its service while the
// driver still runs). Keys below the service's key (its instances, a driver's rule database)
// belong to the service and go with it.
//
// Everyone may read services; only root may create, change or delete them (5 otherwise): the
// registry database is root's. Every function returns a Win32 code, 0 on success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace user {

// Access rights of the manager.
enum : std::uint32_t {
    kScManagerConnect = 0x0001,
    kScManagerCreateService = 0x0002,
    kScManagerEnumerateService = 0x0004,
    kScManagerAllAccess = 0xF003F,
};

// Access rights of a service.
enum : std::uint32_t {
    kServiceQueryConfig = 0x0001,
    kServiceChangeConfig = 0x0002,
    kServiceQueryStatus = 0x0004,
    kServiceStart = 0x0010,
    kServiceStop = 0x0020,
    kServiceDelete = 0x10000,  // DELETE
    kServiceAllAccess = 0xF01FF,
};

enum : std::uint32_t {
    kServiceKernelDriver = 1,
    kServiceSystemStart = 1,
    kServiceDemandStart = 3,
    kServiceErrorNormal = 1,
};

// The error codes this face gives.
enum : std::uint32_t {
    kErrorServiceAccessDenied = 5,
    kErrorServiceInvalidName = 123,
    kErrorServiceDoesNotExist = 1060,
    kErrorServiceMarkedForDelete = 1072,
    kErrorServiceExists = 1073,
};

struct ServiceManagerHandle {
    std::uint32_t access = 0;
};

struct ServiceHandle {
    std::u16string name;
    std::uint32_t access = 0;
};

struct ServiceConfig {
    std::uint32_t type = kServiceKernelDriver;
    std::uint32_t start = kServiceDemandStart;
    std::uint32_t errorControl = kServiceErrorNormal;
    std::u16string imagePath;
    std::u16string displayName;
};

// The service's key below HKEY_LOCAL_MACHINE: "System\CurrentControlSet\Services\<name>".
std::u16string ServiceKey(std::u16string_view name);

// Any right beyond connecting, enumerating and querying needs root.
std::uint32_t OpenServiceManager(std::uint32_t access, ServiceManagerHandle* manager);

// Writes a new service. 1073 when one of that name exists: the existing one stays unchanged (and
// *service is not filled). 1072 when the existing one is marked for deletion.
// 123 for an empty name, one longer than 256 characters or one with a backslash or slash.
std::uint32_t CreateService(const ServiceManagerHandle& manager, std::u16string_view name,
                            std::uint32_t access, const ServiceConfig& config,
                            ServiceHandle* service);

// 1060 when there is no such service. Rights beyond querying need root.
std::uint32_t OpenService(const ServiceManagerHandle& manager, std::u16string_view name,
                          std::uint32_t access, ServiceHandle* service);

std::uint32_t QueryServiceConfig(const ServiceHandle& service, ServiceConfig* config);

// Whether the service is marked for deletion.
bool ServiceMarkedForDelete(std::u16string_view name);

// Deletes the service's key with everything below it. While a host runs (its driver may still use
// the keys below the service, such as its rule database), the service is only marked for deletion:
// it keeps working until it is unloaded, and the unload removes it (RemoveServiceMarkedForDelete).
// Deleting a service already marked gives 1072; one that is gone, 1060.
std::uint32_t DeleteService(const ServiceHandle& service);

// Removes the service when it is marked for deletion; the loader calls it once no host runs.
void RemoveServiceMarkedForDelete(std::u16string_view name);

}  // namespace user
