// The host's end of the control channel: the daemon's main starts it, hands it its load and
// unload, and runs it until there is nothing left to do.
//
// The server serves one request at a time on the thread that calls Run, so load and unload never
// overlap. It keeps the host's state (what is loaded) itself:
// - Load with nothing loaded calls load; on success the service is loaded. A failed load leaves
//   the host with nothing to do: Run returns after the reply.
// - Load while loaded answers STATUS_IMAGE_ALREADY_LOADED for the same service and
//   STATUS_SHARING_VIOLATION for another one, without calling load.
// - Unload calls unload when something is loaded; after a successful unload (or with nothing
//   loaded) Run returns after the reply, and the host ends.
// - Query answers with the host's pid, whether a service is loaded and its name.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host_lock.h"
#include "platform/kernel/status.h"

namespace host_control {

struct HostCallbacks {
    // Loads the image and calls its driver entry with the service's registry path
    // ("\REGISTRY\MACHINE\System\CurrentControlSet\Services\<name>"); the entry's status.
    std::function<kernel::NTSTATUS(const std::u16string& serviceName,
                                   const std::u16string& imagePath,
                                   const std::u16string& registryPath)>
        load;
    // Calls the driver's unload, detaches every volume; its status.
    std::function<kernel::NTSTATUS()> unload;
};

class HostControlServer {
  public:
    enum class End { Unloaded, LoadFailed, Stopped };

    // Takes the host lock, then listens on "<run directory>/host.sock" (mode 0600). Null with
    // *error = EEXIST when another host runs, or the errno of the failing step.
    static std::unique_ptr<HostControlServer> Start(HostCallbacks callbacks, int* error);
    // Closes the socket, removes it and the pidfile, and lets the lock go.
    ~HostControlServer();
    HostControlServer(const HostControlServer&) = delete;
    HostControlServer& operator=(const HostControlServer&) = delete;

    // Serves requests until there is nothing left to do (see above) or Stop is called.
    End Run();
    // Makes Run return after the request in progress, if any. Safe from any thread and from a
    // signal handler.
    void Stop();

    bool Loaded() const { return loaded_; }

  private:
    HostControlServer(HostCallbacks callbacks, std::unique_ptr<HostLock> lock, int listenFd,
                      int wakeFd);
    // Serves one connection; true when Run should end after it, with *end set.
    bool Serve(int fd, End* end);

    HostCallbacks callbacks_;
    std::unique_ptr<HostLock> lock_;  // released last: the socket goes first
    int listenFd_;
    int wakeFd_;  // an eventfd Stop writes to
    bool loaded_ = false;
    std::u16string loadedService_;
};

}  // namespace host_control
