// The full capture frame on the simulated platform, as a file system's callers pay for it: the
// pre-operation step, the operation, the post-operation step and the completion (name, rules,
// counters, the message built and queued). Reported per operation: time, and pool allocations
// (all of them, and those that stay with the queued message). A closed gate must allocate
// nothing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/pool_tags.h"
#include "platform/kernel/pool_accounting.h"
#include "platform/kernel/port_client.h"
#include "sim_clock.h"
#include "sim_fltmgr.h"
#include "sim_registry.h"
#include "sim_world.h"
#include "startup/driver_entry.h"
#include "testing/control_messages.h"

namespace {

using namespace kernel;
using namespace vesk;
using sim::FilterManager;
using sim::Operation;

std::uint64_t TotalAllocations() {
    std::uint64_t total = 0;
    for (const auto& usage : QueryPoolTags()) {
        total += usage.allocations;
    }
    return total;
}

// A loaded driver with a client that never receives: the delivery thread keeps offering the first
// message while the queue grows, and the benchmark drains it outside the timed region.
class World {
  public:
    explicit World(std::uint32_t options, bool active) {
        sim::World::Reset();
        FilterManager::Reset();
        sim::SimClock::Reset();
        char pattern[] = "/tmp/vesk-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        sim::Registry::Open(dir_ + "/registry.db");
        Token* token =
            sim::World::CreatePrimaryToken({"S-1-5-21-1000-2000-3000-1001", {0x1234, 0}});
        thread_ = sim::World::CreateThread(sim::World::CreateProcess(100, 1, token), 101);
        Process* client = sim::World::CreateProcess(200, 1, token);
        sim::World::CreateThread(client, 201);
        sim::World::CreateThread(client, 202);
        sim::World::SetCurrentThread(thread_);
        const std::u16string key =
            u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\TallowmereVesk";
        const UnicodeString path{static_cast<std::uint16_t>(key.size() * 2),
                                 static_cast<std::uint16_t>(key.size() * 2),
                                 const_cast<char16_t*>(key.data())};
        loaded_ = NtSuccess(driver::DriverEntry(FilterManager::DriverObject(), path));
        sim::VolumeSpec spec;
        spec.deviceName = u"\\Device\\HarddiskVolume2";
        volume_ = FilterManager::MountVolume(spec);
        file_ = FilterManager::OpenFileObject(volume_, u"\\Device\\HarddiskVolume2\\dir\\file.txt");
        const auto context = testing::ContextBytes(options, wire::VeskWantFileSystem, 201, 202);
        ConnectCommunicationPort(driver::kVeskPortName, context.data(), 16, &client_);
        if (active) {
            const auto activate = testing::MessageBuilder(wire::VeskCmdActivate).Build();
            std::uint32_t returned = 0;
            client_->SendMessage(activate.data(), 4, nullptr, 0, &returned);
        }
        // The stream gets its name, as a real open would have given it.
        Operation create(flt::MajorFunction::Create, file_);
        FilterManager::Run(create);
        Drain();
    }

    ~World() {
        FilterManager::CloseFileObject(file_);
        std::atomic<bool> done{false};
        std::thread unloader([&] {
            FilterManager::UnloadFilter(FilterManager::RegisteredFilter());
            done = true;
        });
        sim::SimClock::AdvanceUntil([&] { return done.load(); }, 10 * 10'000'000LL);
        unloader.join();
        client_.reset();
        sim::Registry::Close();
        std::filesystem::remove_all(dir_);
    }

    bool Ready() const { return loaded_ && client_ != nullptr; }
    void Drain() { driver::LoadedDriverState()->queue.Drain(); }
    flt::FileObject* File() const { return file_; }

  private:
    std::string dir_;
    Thread* thread_ = nullptr;
    bool loaded_ = false;
    flt::Volume* volume_ = nullptr;
    flt::FileObject* file_ = nullptr;
    std::unique_ptr<PortConnection> client_;
};

// Runs make() once per iteration and reports allocations per operation.
template <typename Make>
void RunFrame(benchmark::State& state, World& world, Make make, bool mustNotAllocate = false) {
    if (!world.Ready()) {
        state.SkipWithError("the driver did not load");
        return;
    }
    const std::uint64_t before = TotalAllocations();
    const std::uint64_t messagesBefore = QueryPoolTag(driver::kTagMessage).allocations +
                                         QueryPoolTag(driver::kTagQueueEntry).allocations;
    std::uint64_t operations = 0;
    for (auto _ : state) {
        make();
        if (++operations % 2048 == 0) {
            state.PauseTiming();
            world.Drain();
            state.ResumeTiming();
        }
    }
    world.Drain();
    const double n = static_cast<double>(operations);
    const std::uint64_t all = TotalAllocations() - before;
    state.counters["allocs_per_op"] = static_cast<double>(all) / n;
    state.counters["queued_allocs_per_op"] =
        static_cast<double>(QueryPoolTag(driver::kTagMessage).allocations +
                            QueryPoolTag(driver::kTagQueueEntry).allocations - messagesBefore) /
        n;
    state.SetItemsProcessed(static_cast<std::int64_t>(operations));
    if (mustNotAllocate && all != 0) {
        state.SkipWithError("a closed gate allocated");
    }
}

void BM_Create(benchmark::State& state) {
    World world(0, true);
    RunFrame(state, world, [&] {
        Operation create(flt::MajorFunction::Create, world.File());
        create.information = 1;
        FilterManager::Run(create);
    });
}
BENCHMARK(BM_Create);

// A 4 KiB read into a kernel buffer; argument 1 turns data capture off (the client's option).
void BM_Read4KiB(benchmark::State& state) {
    const bool noData = state.range(0) != 0;
    World world(noData ? std::uint32_t{wire::VeskConnectNoData} : 0u, true);
    std::vector<std::uint8_t> buffer(4096, 0x5A);
    RunFrame(state, world, [&] {
        Operation read(flt::MajorFunction::Read, world.File());
        read.iopb.parameters.transfer = {4096, 0, 0, nullptr, buffer.data()};
        read.data.flags |= flt::kFlagSystemBuffer;
        read.information = 4096;
        FilterManager::Run(read);
    });
    state.SetLabel(noData ? "without data" : "with data");
}
BENCHMARK(BM_Read4KiB)->Arg(0)->Arg(1);

// Connected but not activated: every operation passes the closed gate.
void BM_Read4KiBGateClosed(benchmark::State& state) {
    World world(0, false);
    std::vector<std::uint8_t> buffer(4096, 0x5A);
    RunFrame(
        state, world,
        [&] {
            Operation read(flt::MajorFunction::Read, world.File());
            read.iopb.parameters.transfer = {4096, 0, 0, nullptr, buffer.data()};
            read.data.flags |= flt::kFlagSystemBuffer;
            read.information = 4096;
            FilterManager::Run(read);
        },
        true);
}
BENCHMARK(BM_Read4KiBGateClosed);

}  // namespace

BENCHMARK_MAIN();
