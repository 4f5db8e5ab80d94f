#include "platform/user/filters.h"

#include <string>
#include <vector>

#include "host_control_client.h"
#include "host_lock.h"
#include "platform/user/machine_registry.h"
#include "platform/user/services.h"
#include "stale_mounts.h"
#include "volume_config.h"

namespace user {
namespace {

using platform::HResultFromNtStatus;
using platform::HResultFromWin32;

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidName = 123;
constexpr std::uint32_t kErrorServiceNotActive = 1062;
constexpr std::uint32_t kErrorProcessAborted = 1067;

// Loading calls the driver's entry, which may take a while; unloading detaches every volume.
constexpr int kRequestTimeoutMs = 60000;
constexpr int kEndTimeoutMs = 30000;

std::u16string NameOf(const char16_t* filterName) {
    return filterName == nullptr ? std::u16string() : std::u16string(filterName);
}

// What a host that died left behind: its socket and pidfile (always), the FUSE mounts at the
// configured directories and a service marked for deletion (when asked).
void CleanDeadHost(const std::u16string& serviceName, bool mountsToo) {
    if (!host_control::CleanDeadHost()) {
        return;  // a host runs after all
    }
    if (mountsToo) {
        std::vector<std::string> volumes;
        if (host_config::ListVolumes(&volumes)) {
            mounts::DetachVeskMountsAt(volumes);
        }
        RemoveServiceMarkedForDelete(serviceName);
    }
}

}  // namespace

platform::HRESULT FilterLoad(const char16_t* filterName) {
    const std::u16string name = NameOf(filterName);
    if (name.empty()) {
        return HResultFromWin32(kErrorInvalidName);
    }
    if (!IsAdministrator()) {
        return HResultFromWin32(kErrorAccessDenied);
    }
    ServiceManagerHandle manager;
    ServiceHandle service;
    ServiceConfig config;
    std::uint32_t error = OpenServiceManager(kScManagerConnect, &manager);
    if (error == 0) {
        error = OpenService(manager, name, kServiceQueryConfig | kServiceStart, &service);
    }
    if (error == 0) {
        error = QueryServiceConfig(service, &config);
    }
    if (error == 0 && ServiceMarkedForDelete(name)) {
        error = kErrorServiceMarkedForDelete;
    }
    if (error != 0) {
        return HResultFromWin32(error);
    }
    const host_control::Request request{host_control::Command::Load, name, config.imagePath,
                                        KernelMachineKeyPath(ServiceKey(name))};
    host_control::Reply reply;
    // Two rounds: a host that was ending just as we asked (it had answered its last unload) closes
    // without a reply; once it is gone a new one is started.
    for (int round = 0; round < 2; ++round) {
        error = host_control::SendToHost(request, &reply, kRequestTimeoutMs);
        if (error == kErrorServiceNotActive) {
            if (host_control::HostRunning()) {
                error = host_control::WaitForHostAnswer(host_control::HostStartTimeoutMs());
            } else {
                CleanDeadHost(name, false);
                error = host_control::StartHost();
            }
            if (error == 0) {
                error = host_control::SendToHost(request, &reply, kRequestTimeoutMs);
            }
        }
        if (error == kErrorProcessAborted && round == 0 &&
            host_control::WaitForHostEnd(kEndTimeoutMs)) {
            continue;
        }
        break;
    }
    if (error != 0) {
        return HResultFromWin32(error);
    }
    // Any success status of the entry (informational ones too) is a success.
    return reply.status >= 0 ? 0 : HResultFromNtStatus(reply.status);
}

platform::HRESULT FilterUnload(const char16_t* filterName) {
    const std::u16string name = NameOf(filterName);
    if (name.empty()) {
        return HResultFromWin32(kErrorInvalidName);
    }
    if (!IsAdministrator()) {
        return HResultFromWin32(kErrorAccessDenied);
    }
    host_control::Reply reply;
    std::uint32_t error = host_control::SendToHost(
        host_control::Request{host_control::Command::Unload, {}, {}, {}}, &reply,
        kRequestTimeoutMs);
    if (error == kErrorServiceNotActive && host_control::HostRunning()) {
        // A host still starting: it can be asked once it answers.
        if (host_control::WaitForHostAnswer(host_control::HostStartTimeoutMs()) == 0) {
            error = host_control::SendToHost(
                host_control::Request{host_control::Command::Unload, {}, {}, {}}, &reply,
                kRequestTimeoutMs);
        }
    }
    if (error == 0) {
        const platform::HRESULT result = reply.status >= 0 ? 0 : HResultFromNtStatus(reply.status);
        if (result >= 0) {
            // The host ends after a successful unload; the next load must not find it ending.
            host_control::WaitForHostEnd(kEndTimeoutMs);
            RemoveServiceMarkedForDelete(name);
        }
        return result;
    }
    if (error == kErrorServiceNotActive || error == kErrorProcessAborted) {
        // Nobody answers: whatever a dead host left is cleaned, and nothing is loaded.
        if (!host_control::HostRunning()) {
            CleanDeadHost(name, true);
            return HResultFromWin32(kErrorServiceNotActive);
        }
    }
    return HResultFromWin32(error);
}

}  // namespace user
