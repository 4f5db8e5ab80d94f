// The server end of the communication port's socket transport: it serves a filter's named kernel
// server port (whichever face runs the filter) on a Unix-domain socket, so that a client in any
// process reaches the port as if it were in the filter's address space.
//
// Each accepted socket is one client connection of the kernel port: its connect carries the
// client's connection context to the filter's connect callback, its sends run the filter's
// message callback (on worker threads, so many sender threads of one client are served at once),
// and one pump thread per connection receives the filter's notifications and writes them, in the
// filter's order, as long as the client's receive window is open. A closed socket disconnects the
// client from the port; the filter closing the client port closes the socket.
//
// Who may connect: root, and members of the socket's group. Anyone else is answered
// STATUS_ACCESS_DENIED and the socket closed before the filter hears of it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/kernel/status.h"

namespace port_socket {

struct ServerOptions {
    // Empty: SocketPathForPort(port name) in the run directory.
    std::string socketPath;
    // The group that owns the socket and whose members may connect. -1: group "vesk" when it
    // exists, otherwise the server's own group.
    gid_t group = static_cast<gid_t>(-1);
    mode_t mode = 0660;
    // Called with the client's connection context (nullptr, 0 when none) right before it is
    // handed to the filter, on the connection's thread.
    std::function<void(const void* context, std::uint16_t contextLength)> beforeConnect;
};

class PortSocketServer {
  public:
    // Binds and listens (a stale socket file is replaced) and starts accepting. The kernel port
    // is looked up by name at each client's connect. Fails with the status of the errno that
    // stopped it (through the platform's table).
    static kernel::NTSTATUS Start(const std::string& portName, const ServerOptions& options,
                                  std::unique_ptr<PortSocketServer>* server);

    // Stops accepting, disconnects every client and waits for all of the server's threads.
    ~PortSocketServer();

    const std::string& SocketPath() const;
    // Connections currently open (for tests and diagnostics).
    int ConnectionCount() const;

    class Impl;

  private:
    explicit PortSocketServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Whether a peer with these credentials may use a socket owned by group: root, the group as
// primary group, or the group among the peer's supplementary groups.
bool PeerMayConnect(uid_t uid, gid_t gid, const gid_t* groups, int groupCount, gid_t group);

}  // namespace port_socket
