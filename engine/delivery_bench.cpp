// From the driver's enqueue to the client's callback, across the socket: events per second at
// saturation, and latency percentiles at a steady rate, with and without 4 KiB of read data per
// event. The driver core runs on the simulated platform in this process behind the real socket
// server; the library is the real libvesklib.so.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "control/port_callbacks.h"
#include "core/driver_state.h"
#include "message/notification_builder.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/port.h"
#include "port_socket_server.h"
#include "run_directory.h"
#include "sim_clock.h"
#include "sim_world.h"
#include "vesk/vesklib.h"

namespace {

using namespace kernel;
using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

struct Sink {
    std::atomic<std::uint64_t> delivered{0};
    std::atomic<bool> recordLatency{false};
    std::mutex mutex;
    std::vector<std::int64_t> latencies;  // dispatch thread only while recording
};

Sink sink;

void OnFile(void*, const VeskNotification*, const VeskOperationData* data) {
    if (sink.recordLatency.load(std::memory_order_relaxed)) {
        sink.latencies.push_back(NowNs() - data->Transfer.Offset);
    }
    sink.delivered.fetch_add(1, std::memory_order_release);
}

// One driver behind one socket, with the library initialised, for the whole program.
class Rig {
  public:
    Rig() {
        char root[] = "/tmp/vesk-bench-XXXXXX";
        mkdtemp(root);
        setenv("VESK_ROOT", root, 1);
        sim::World::Reset();
        sim::SimClock::Reset();
        Token* token = sim::World::CreatePrimaryToken({"S-1-22-1-1000", {0x1000, 0}});
        Process* process = sim::World::CreateProcess(1200, 1, token);
        thread_ = sim::World::CreateThread(process, 1201);
        driver_.statistics.Reset();
        CreateCommunicationPort("\\BenchPort", &driver_, vesk::driver::DriverPortCallbacks(), 1,
                                &port_);
        driver_.queue.StartDelivery(driver_.connection.PortSlot());
        port_socket::ServerOptions options;
        options.socketPath = port_socket::SocketPathForPort("\\TallowmereVeskPort");
        options.beforeConnect = [process](const void* context, std::uint16_t) {
            vesk::wire::ConnectionContext ctx;
            std::memcpy(&ctx, context, sizeof ctx);
            sim::World::CreateThread(process, ctx.ExcludedThreadId1);
            sim::World::CreateThread(process, ctx.ExcludedThreadId2);
        };
        port_socket::PortSocketServer::Start("\\BenchPort", options, &server_);
        if (!VeskInitialize(0, nullptr, &OnFile, nullptr, nullptr)) {
            std::fprintf(stderr, "VeskInitialize failed: %u\n", VeskGetErrorCode());
            std::abort();
        }
    }

    // A read record of the usual shape, with dataBytes of data, stamped with the time.
    void Enqueue(std::uint32_t dataBytes) {
        static const std::u16string name = u"/srv/data/projects/report-2026.txt";
        UnicodeString counted{static_cast<std::uint16_t>(name.size() * 2),
                              static_cast<std::uint16_t>(name.size() * 2),
                              const_cast<char16_t*>(name.data())};
        vesk::driver::MessageParameters p;
        p.actingThread = thread_;
        p.name = &counted;
        p.volumePrefixLength = 9;
        p.category = vesk::wire::VeskCategoryFileSystem;
        p.operation = vesk::wire::VeskOpRead;
        p.payloadLength = vesk::wire::kTransferPayloadLength + dataBytes;
        vesk::driver::BuiltMessage built;
        if (!NtSuccess(vesk::driver::BuildMessage(p, &built))) {
            std::abort();
        }
        vesk::wire::TransferPayload t{
            NowNs(),   dataBytes, 0,
            dataBytes, 1,         dataBytes != 0 ? vesk::wire::VeskTransferHasData : 0u};
        std::memcpy(built.payload, &t, sizeof t);
        if (dataBytes != 0) {
            std::memset(built.payload + sizeof t, 0x5A, dataBytes);
        }
        driver_.queue.EnqueueMessage(built.message, built.totalLength);
    }

    void WaitFor(std::uint64_t delivered) {
        while (sink.delivered.load(std::memory_order_acquire) < delivered) {
            std::this_thread::yield();
        }
    }

    std::uint64_t Lost() const { return driver_.queue.Counters().dropped; }

    // Stops everything in the order the driver's unload uses, so no thread outlives main.
    void Shutdown() {
        VeskUninitialize();
        server_.reset();
        driver_.connection.Shutdown();
        driver_.queue.StopDelivery();
        CloseClientPort(driver_.connection.PortSlot());
        CloseCommunicationPort(port_);
    }

  private:
    vesk::driver::DriverState driver_;
    ServerPort* port_ = nullptr;
    Thread* thread_ = nullptr;
    std::unique_ptr<port_socket::PortSocketServer> server_;
};

Rig* rig = nullptr;

Rig& TheRig() {
    if (rig == nullptr) {
        rig = new Rig;
    }
    return *rig;
}

void BM_Saturation(benchmark::State& state) {
    Rig& rig = TheRig();
    const auto dataBytes = static_cast<std::uint32_t>(state.range(0));
    constexpr int kBatch = 20000;
    for (auto _ : state) {
        const std::uint64_t target = sink.delivered.load() + kBatch;
        for (int i = 0; i < kBatch; ++i) {
            rig.Enqueue(dataBytes);
        }
        rig.WaitFor(target);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["lost"] = static_cast<double>(rig.Lost());
}
BENCHMARK(BM_Saturation)->Arg(0)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SteadyRateLatency(benchmark::State& state) {
    Rig& rig = TheRig();
    const auto dataBytes = static_cast<std::uint32_t>(state.range(0));
    const auto rate = static_cast<double>(state.range(1));
    constexpr int kEvents = 20000;
    std::vector<std::int64_t> all;
    for (auto _ : state) {
        rig.WaitFor(sink.delivered.load());
        sink.latencies.clear();
        sink.latencies.reserve(kEvents);
        sink.recordLatency = true;
        const std::uint64_t target = sink.delivered.load() + kEvents;
        const auto start = Clock::now();
        for (int i = 0; i < kEvents; ++i) {
            const auto due =
                start + std::chrono::nanoseconds(static_cast<std::int64_t>(i * 1e9 / rate));
            // Sleep rather than spin: on two cores a spinning producer would take the CPU the
            // delivery path needs. Events due within the next 100 us go out at once.
            if (due - Clock::now() > std::chrono::microseconds(100)) {
                std::this_thread::sleep_until(due);
            }
            rig.Enqueue(dataBytes);
        }
        rig.WaitFor(target);
        sink.recordLatency = false;
        all.insert(all.end(), sink.latencies.begin(), sink.latencies.end());
    }
    std::sort(all.begin(), all.end());
    auto percentile = [&](double p) {
        return all.empty()
                   ? 0.0
                   : static_cast<double>(all[static_cast<std::size_t>(p * (all.size() - 1))]) /
                         1000.0;
    };
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p90_us"] = percentile(0.90);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["p999_us"] = percentile(0.999);
    state.counters["lost"] = static_cast<double>(rig.Lost());
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_SteadyRateLatency)
    ->Args({0, 50000})
    ->Args({4096, 50000})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (rig != nullptr) {
        rig->Shutdown();
    }
    return 0;
}
