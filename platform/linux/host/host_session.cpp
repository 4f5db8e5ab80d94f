#include "host_session.h"

#include <cstdio>
#include <vector>

#include "stale_mounts.h"
#include "platform/kernel/port_client.h"
#include "platform/linux/host_kernel.h"
#include "volume_config.h"

namespace vesk_host {
namespace {

void Log(const std::string& text) {
    std::fprintf(stderr, "vesk-host: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Hex(kernel::NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace

HostSession::~HostSession() {
    Unload();
}

kernel::NTSTATUS HostSession::Load(const std::string& imagePath,
                                   const std::u16string& registryPath) {
    if (loaded_) {
        return kernel::STATUS_SUCCESS;
    }
    std::vector<std::string> volumes;
    if (!host_config::ListVolumes(&volumes)) {
        Log("the volume configuration cannot be read; no volume is offered");
        volumes.clear();
    }
    // A host that was killed leaves its FUSE mounts behind, answering nothing: away with them
    // before anything is mounted again.
    if (const int error = mounts::DetachVeskMountsAt(volumes); error != 0) {
        Log("a stale mount could not be detached: errno " + std::to_string(error));
    }

    kernel::NTSTATUS status = linux_host::StartKernel();
    if (!kernel::NtSuccess(status)) {
        Log("the kernel face did not start: " + Hex(status));
        return status;
    }
    kernelStarted_ = true;

    std::string detail;
    status = image_.Open(imagePath, &detail);
    if (!kernel::NtSuccess(status)) {
        Log(detail);
        TearDown();
        return status;
    }
    if (registryPath.size() * sizeof(char16_t) > 0xFFFC) {
        TearDown();
        return kernel::STATUS_INVALID_PARAMETER;
    }
    std::u16string pathText = registryPath;
    const kernel::UnicodeString path{
        static_cast<std::uint16_t>(pathText.size() * sizeof(char16_t)),
        static_cast<std::uint16_t>((pathText.size() + 1) * sizeof(char16_t)), pathText.data()};
    status = image_.Entry()(linux_host::DriverObject(), &path);
    if (!kernel::NtSuccess(status)) {
        Log("the driver entry failed: " + Hex(status));
        TearDown();
        return status;
    }
    loaded_ = true;

    for (const std::string& name : kernel::ServerPortNames()) {
        std::unique_ptr<port_socket::PortSocketServer> server;
        const kernel::NTSTATUS served =
            port_socket::PortSocketServer::Start(name, port_socket::ServerOptions{}, &server);
        if (!kernel::NtSuccess(served)) {
            Log("the port " + name + " cannot be served: " + Hex(served));
            Unload();
            return served;
        }
        portServers_.push_back(std::move(server));
    }
    // A directory that cannot be filtered is left alone; the others still are.
    for (const std::string& directory : volumes) {
        const kernel::NTSTATUS attached = linux_host::AttachVolume(directory);
        if (!kernel::NtSuccess(attached)) {
            Log("the volume " + directory + " is not filtered: " + Hex(attached));
        } else {
            Log("filtering " + directory);
        }
    }
    return status;
}

kernel::NTSTATUS HostSession::Unload() {
    if (!loaded_) {
        TearDown();
        return kernel::STATUS_SUCCESS;
    }
    // Sockets first: no client may reach the port while the driver takes it apart.
    portServers_.clear();
    if (flt::Filter* filter = linux_host::RegisteredFilter(); filter != nullptr) {
        const kernel::NTSTATUS status = linux_host::UnloadFilter(filter);
        if (!kernel::NtSuccess(status)) {
            Log("the filter's unload answered " + Hex(status));
        }
    }
    loaded_ = false;
    TearDown();
    return kernel::STATUS_SUCCESS;
}

void HostSession::TearDown() {
    portServers_.clear();
    if (kernelStarted_) {
        linux_host::DetachAllVolumes();
    }
    // Nothing of the image runs once the filter is unregistered and the volumes are gone.
    image_.Close();
    if (kernelStarted_) {
        linux_host::StopKernel();
        kernelStarted_ = false;
    }
}

}  // namespace vesk_host
