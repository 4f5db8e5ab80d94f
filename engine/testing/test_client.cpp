// A client of the engine library in a process of its own, for the tests.
//   vesk_test_client hold      initialise, print "ready <error>" and every file-system
//                              notification's name, one per line; uninitialise at end of input
//   vesk_test_client activate  print the error of one VeskActivate (no initialisation)
#include <cstdio>
#include <cstring>
#include <string>

#include "vesk/vesklib.h"

namespace {

void PrintName(void*, const VeskNotification* notification, const VeskOperationData*) {
    std::string name;
    for (const VeskChar* c = notification->Name; c != nullptr && *c != 0; ++c) {
        name += *c < 0x80 ? static_cast<char>(*c) : '?';
    }
    std::printf("%s\n", name.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "hold") {
        const VeskBool ok = VeskInitialize(0, nullptr, &PrintName, nullptr, nullptr);
        std::printf("ready %u\n", ok ? 0u : VeskGetErrorCode());
        std::fflush(stdout);
        char line[64];
        while (std::fgets(line, sizeof line, stdin) != nullptr) {
        }
        if (ok) {
            VeskUninitialize();
        }
        return 0;
    }
    if (mode == "activate") {
        const VeskBool ok = VeskActivate();
        std::printf("%u\n", ok ? 0u : VeskGetErrorCode());
        return 0;
    }
    std::fprintf(stderr, "usage: %s hold|activate\n", argv[0]);
    return 2;
}
