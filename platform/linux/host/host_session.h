// What the host does for a loader: load a service's driver image on this machine's kernel face
// (with its configured volumes and its ports on sockets) and take all of it down again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver_image.h"
#include "platform/kernel/status.h"
#include "port_socket_server.h"

namespace vesk_host {

class HostSession {
  public:
    HostSession() = default;
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
    ~HostSession();

    // Cleans up mounts a dead host left on the configured directories, starts the kernel face,
    // maps the image, calls its entry with the registry path, serves every port the driver
    // opened on a socket, and offers each configured directory as a volume. The entry's status;
    // on any failure everything done so far is undone, in reverse order.
    kernel::NTSTATUS Load(const std::string& imagePath, const std::u16string& registryPath);

    // The filter's unload (it never refuses), then every volume detached, the sockets closed,
    // the image unmapped and the kernel face stopped. Success when nothing was loaded.
    kernel::NTSTATUS Unload();

    bool Loaded() const { return loaded_; }

  private:
    void TearDown();

    DriverImage image_;
    std::vector<std::unique_ptr<port_socket::PortSocketServer>> portServers_;
    bool kernelStarted_ = false;
    bool loaded_ = false;
};

}  // namespace vesk_host
