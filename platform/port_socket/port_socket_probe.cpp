// Test helper: connects to a port socket as another user and prints the status it got.
//   port_socket_probe <socket path> <uid> <gid>
// Drops to gid and uid (no supplementary groups) first, so the server judges a peer that is not
// root. Exit status 0 when it could run the connect at all.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "port_socket_client.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <socket path> <uid> <gid>\n", argv[0]);
        return 2;
    }
    const auto uid = static_cast<uid_t>(std::strtoul(argv[2], nullptr, 10));
    const auto gid = static_cast<gid_t>(std::strtoul(argv[3], nullptr, 10));
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        std::perror("dropping privileges");
        return 3;
    }
    std::unique_ptr<port_socket::PortSocketClient> client;
    const kernel::NTSTATUS status =
        port_socket::PortSocketClient::Connect(argv[1], nullptr, 0, {}, &client);
    std::printf("%08X\n", static_cast<unsigned>(status));
    return 0;
}
