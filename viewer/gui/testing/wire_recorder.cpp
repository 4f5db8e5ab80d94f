#include "testing/wire_recorder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace nimbrel::testing {
namespace {

sockaddr_in Loopback(int Port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(Port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NoDelay(int Socket) {
    const int on = 1;
    ::setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Polls with a short time-out so that the threads notice when the recorder stops.
constexpr int kPollMilliseconds = 50;

}  // namespace

TWireRecorder::TWireRecorder(int TargetPort) : FTargetPort(TargetPort) {
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (FListener < 0 || ::bind(FListener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(FListener, 16) != 0 ||
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (FListener >= 0) {
            ::close(FListener);
        }
        throw std::runtime_error("The wire recorder cannot listen");
    }
    FPort = ntohs(address.sin_port);
    FAcceptor = std::thread([this] { Accept(); });
}

TWireRecorder::~TWireRecorder() {
    FStopping = true;
    FAcceptor.join();
    // No new relay starts once the acceptor has ended.
    for (std::thread& relay : FRelays) {
        relay.join();
    }
    ::close(FListener);
}

int TWireRecorder::Connections() const {
    std::lock_guard lock(FLock);
    return FConnections;
}

std::string TWireRecorder::Sent() const {
    std::lock_guard lock(FLock);
    return FSent;
}

void TWireRecorder::Accept() {
    while (!FStopping) {
        pollfd listener{FListener, POLLIN, 0};
        if (::poll(&listener, 1, kPollMilliseconds) <= 0) {
            continue;
        }
        const int client = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::lock_guard lock(FLock);
        ++FConnections;
        FRelays.emplace_back([this, client] { Relay(client); });
    }
}

void TWireRecorder::Relay(int Client) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = Loopback(FTargetPort);
    if (server < 0 ||
        ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        ::close(Client);
        if (server >= 0) {
            ::close(server);
        }
        return;
    }
    NoDelay(Client);
    NoDelay(server);
    char buffer[16384];
    pollfd ends[2] = {{Client, POLLIN, 0}, {server, POLLIN, 0}};
    while (!FStopping) {
        if (::poll(ends, 2, kPollMilliseconds) <= 0) {
            continue;
        }
        bool closed = false;
        for (int i = 0; i < 2 && !closed; ++i) {
            if (ends[i].revents == 0) {
                continue;
            }
            const ssize_t got = ::recv(ends[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                closed = true;
                break;
            }
            if (i == 0) {
                std::lock_guard lock(FLock);
                FSent.append(buffer, static_cast<std::size_t>(got));
            }
            const int to = ends[1 - i].fd;
            for (ssize_t sent = 0; sent < got;) {
                const ssize_t n =
                    ::send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
                if (n <= 0) {
                    closed = true;
                    break;
                }
                sent += n;
            }
        }
        if (closed) {
            break;
        }
    }
    ::close(Client);
    ::close(server);
}

}  // namespace nimbrel::testing
