// Mounts directories through the filter and keeps them mounted until told to stop: the host
// kernel started, the driver loaded with its port served (so a libvesklib client can connect),
// each directory attached. Prints "mounted" once every directory is attached, then waits for
// SIGINT, SIGTERM or the end of its standard input, detaches, unloads and ends. For benchmarks
// and for the tests of a host that dies with its mounts in place.
//
//   linux_host_mount [--no-driver] DIRECTORY...
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/host_kernel.h"
#include "port_socket_server.h"
#include "startup/driver_entry.h"

int main(int argc, char** argv) {
    bool driver = true;
    std::vector<std::string> directories;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-driver") == 0) {
            driver = false;
        } else {
            directories.emplace_back(argv[i]);
        }
    }
    if (directories.empty()) {
        std::fprintf(stderr, "usage: linux_host_mount [--no-driver] DIRECTORY...\n");
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // every thread after this one too

    if (linux_host::StartKernel() != kernel::STATUS_SUCCESS) {
        std::fprintf(stderr, "the registry cannot be opened\n");
        return 1;
    }
    std::unique_ptr<port_socket::PortSocketServer> server;
    if (driver) {
        const std::u16string key =
            u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";
        const kernel::UnicodeString path{static_cast<std::uint16_t>(key.size() * 2),
                                         static_cast<std::uint16_t>(key.size() * 2),
                                         const_cast<char16_t*>(key.data())};
        const kernel::NTSTATUS loaded =
            vesk::driver::DriverEntry(linux_host::DriverObject(), path);
        if (!kernel::NtSuccess(loaded) ||
            port_socket::PortSocketServer::Start(vesk::driver::kVeskPortName, {}, &server) !=
                kernel::STATUS_SUCCESS) {
            std::fprintf(stderr, "the driver did not load: 0x%08X\n", static_cast<unsigned>(loaded));
            return 1;
        }
    }
    int result = 0;
    for (const std::string& directory : directories) {
        const kernel::NTSTATUS status = linux_host::AttachVolume(directory);
        if (!kernel::NtSuccess(status)) {
            std::fprintf(stderr, "%s: 0x%08X\n", directory.c_str(), static_cast<unsigned>(status));
            result = 1;
        }
    }
    if (result == 0) {
        std::printf("mounted\n");
        std::fflush(stdout);
        // Until a stop signal, or the end of standard input.
        const int signals = [&] {
            pollfd fds[1] = {{0, POLLIN, 0}};
            for (;;) {
                timespec none{0, 0};
                if (sigtimedwait(&stop, nullptr, &none) > 0) {
                    return 1;
                }
                if (poll(fds, 1, 100) > 0) {
                    char byte;
                    if (read(0, &byte, 1) <= 0) {
                        return 0;
                    }
                }
            }
        }();
        (void)signals;
    }
    server.reset();
    linux_host::DetachAllVolumes();
    if (driver) {
        (void)linux_host::UnloadFilter(linux_host::RegisteredFilter());
    }
    linux_host::StopKernel();
    return result;
}
