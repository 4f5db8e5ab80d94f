// A client of the engine library that takes every event and does nothing with it but count: the
// consumer of the filter's overhead benchmark. Prints "ready" once activated and, at the end of
// its input, "events <n>".
//   vesk_event_sink [--no-data]
#include <atomic>
#include <cstdio>
#include <cstring>

#include "vesk/vesklib.h"

namespace {

std::atomic<unsigned long long> events{0};

void OnEvent(void*, const VeskNotification*, const VeskOperationData*) {
    events.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

int main(int argc, char** argv) {
    const bool noData = argc > 1 && std::strcmp(argv[1], "--no-data") == 0;
    if (!VeskInitialize(noData ? VeskModeNoData : 0, nullptr, &OnEvent, &OnEvent, nullptr)) {
        std::fprintf(stderr, "vesk_event_sink: cannot connect (error %u)\n", VeskGetErrorCode());
        return 1;
    }
    if (!VeskActivate()) {
        std::fprintf(stderr, "vesk_event_sink: cannot activate (error %u)\n", VeskGetErrorCode());
        VeskUninitialize();
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    VeskDeactivate();
    VeskUninitialize();
    std::printf("events %llu\n", events.load());
    return 0;
}
