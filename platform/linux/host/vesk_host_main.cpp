// vesk-host: this platform's kernel and filter manager. A loader starts it ("vesk-host serve") to
// load a driver image; administrators use it to choose the directories it filters.
//
//   vesk-host serve                 serve the control socket until the driver is unloaded
//   vesk-host volumes               list the directories offered as volumes
//   vesk-host volumes add DIR       offer DIR at the next load
//   vesk-host volumes remove DIR    stop offering DIR at the next load
#include <csignal>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "host_control_server.h"
#include "host_session.h"
#include "text.h"
#include "vesk_version.h"
#include "volumes_command.h"

namespace {

host_control::HostControlServer* g_server = nullptr;

void OnTerminate(int) {
    if (g_server != nullptr) {
        g_server->Stop();  // async-signal-safe: one write to an eventfd
    }
}

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: vesk-host serve\n"
                 "       vesk-host volumes [add DIR | remove DIR]\n"
                 "       vesk-host --version\n"
                 "A loader (veskd load, VeskLoad) starts 'vesk-host serve' itself; the volume list\n"
                 "takes effect at the next load.\n");
}

int Serve() {
    vesk_host::HostSession session;
    host_control::HostCallbacks callbacks;
    callbacks.load = [&session](const std::u16string&, const std::u16string& imagePath,
                                const std::u16string& registryPath) {
        return session.Load(user::Utf16ToUtf8(imagePath), registryPath);
    };
    callbacks.unload = [&session] { return session.Unload(); };

    int error = 0;
    auto server = host_control::HostControlServer::Start(callbacks, &error);
    if (server == nullptr) {
        std::fprintf(stderr, "vesk-host: %s\n",
                     error == EEXIST ? "another host is running"
                                     : (std::string("cannot serve the control socket: ") +
                                        std::strerror(error))
                                           .c_str());
        return 1;
    }
    g_server = server.get();
    struct sigaction action {};
    action.sa_handler = &OnTerminate;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A client that goes away mid-reply must not end the host.
    std::signal(SIGPIPE, SIG_IGN);

    server->Run();
    g_server = nullptr;
    // Stopped by a signal while loaded: the same as an unload, so no mount is left behind.
    session.Unload();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "serve" && argc == 2) {
        return Serve();
    }
    if (command == "volumes") {
        return host_config::RunVolumesCommand(argc - 1, argv + 1, std::cout, std::cerr);
    }
    if (command == "--version") {
        std::printf("vesk-host %s\n", VESK_VERSION_STRING);
        return 0;
    }
    if (command == "--help" || command == "-h") {
        Usage(stdout);
        return 0;
    }
    Usage(stderr);
    return 2;
}
