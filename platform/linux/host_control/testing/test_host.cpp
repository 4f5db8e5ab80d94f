// A stand-in for vesk-host in tests: serves the control channel with load and unload statuses
// the test chooses, and writes down what it was asked.
//
//   test_host serve
// Environment:
//   VESK_TEST_HOST_MODE         "serve" (default), "exit" (ends at once with code 3) or "silent"
//                               (holds the lock, never answers)
//   VESK_TEST_HOST_LOAD_STATUS  the load's NTSTATUS in hexadecimal (default 0)
// Each request it serves appends a line to "<run directory>/test-host.calls":
//   load <service>|<image path>|<registry path>      or      unload
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "host_control_server.h"
#include "run_directory.h"

namespace {

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

void Record(const std::string& line) {
    std::ofstream(port_socket::RunDirectory() + "/test-host.calls", std::ios::app) << line << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "serve") != 0) {
        std::fprintf(stderr, "usage: test_host serve\n");
        return 2;
    }
    const char* mode = std::getenv("VESK_TEST_HOST_MODE");
    if (mode != nullptr && std::strcmp(mode, "exit") == 0) {
        std::fprintf(stderr, "test host: told to end at once\n");
        return 3;
    }
    if (mode != nullptr && std::strcmp(mode, "silent") == 0) {
        int error = 0;
        auto lock = host_control::HostLock::Acquire(&error);
        pause();
        return 0;
    }
    const char* loadStatus = std::getenv("VESK_TEST_HOST_LOAD_STATUS");
    const auto status = static_cast<kernel::NTSTATUS>(
        loadStatus != nullptr ? std::strtoul(loadStatus, nullptr, 16) : 0);
    host_control::HostCallbacks callbacks;
    callbacks.load = [status](const std::u16string& service, const std::u16string& image,
                              const std::u16string& registryPath) {
        Record("load " + Narrow(service) + "|" + Narrow(image) + "|" + Narrow(registryPath));
        return status;
    };
    callbacks.unload = [] {
        Record("unload");
        return kernel::STATUS_SUCCESS;
    };
    int error = 0;
    auto server = host_control::HostControlServer::Start(std::move(callbacks), &error);
    if (!server) {
        std::fprintf(stderr, "test host: cannot serve: %s\n", std::strerror(error));
        return 1;
    }
    server->Run();
    return 0;
}
