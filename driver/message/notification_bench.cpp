// Building and queuing one notification: the cost a producer pays inside a file-system callback.
// Reports nanoseconds per message and pool allocations per message (which must be exactly two:
// the message and its queue entry).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "core/pool_tags.h"
#include "message/notification_builder.h"
#include "platform/kernel/pool_accounting.h"
#include "queue/event_queue.h"
#include "sim_clock.h"
#include "sim_world.h"

namespace {

using namespace kernel;
using namespace vesk::driver;

std::uint64_t TotalAllocations() {
    std::uint64_t total = 0;
    for (const auto& usage : QueryPoolTags()) {
        total += usage.allocations;
    }
    return total;
}

std::uint64_t Allocations(std::uint32_t tag) { return QueryPoolTag(tag).allocations; }

void BM_BuildAndEnqueue(benchmark::State& state) {
    sim::World::Reset();
    Token* token = sim::World::CreatePrimaryToken({"S-1-5-21-1000-2000-3000-1001", {0x1234, 0}});
    Thread* thread = sim::World::CreateThread(sim::World::CreateProcess(100, 1, token), 101);
    std::u16string text(static_cast<std::size_t>(state.range(0)), u'x');
    UnicodeString name{static_cast<std::uint16_t>(text.size() * 2),
                       static_cast<std::uint16_t>(text.size() * 2), text.data()};
    EventQueue queue;  // no delivery thread: the benchmark drains in batches

    const std::uint64_t before = TotalAllocations();
    const std::uint64_t messagesBefore = Allocations(kTagMessage);
    const std::uint64_t entriesBefore = Allocations(kTagQueueEntry);
    std::uint64_t messages = 0;
    for (auto _ : state) {
        MessageParameters p;
        p.actingThread = thread;
        p.volumeId = 1;
        p.fileObjectId = 2;
        p.name = &name;
        p.volumePrefixLength = 8;
        p.category = vesk::wire::VeskCategoryFileSystem;
        p.operation = vesk::wire::VeskOpCreate;
        p.payloadLength = vesk::wire::kCreatePayloadLength;
        BuiltMessage built;
        if (BuildMessage(p, &built) != STATUS_SUCCESS) {
            state.SkipWithError("build failed");
            break;
        }
        std::memset(built.payload, 0, p.payloadLength);
        queue.EnqueueMessage(built.message, built.totalLength);
        if (++messages % 4096 == 0) {
            state.PauseTiming();
            queue.Drain();
            state.ResumeTiming();
        }
    }
    queue.Drain();
    // What stays allocated per queued message (the message and its queue entry), and every pool
    // allocation on the producer's path, including the identity's two short-lived blocks (the
    // token's user record and the SID copy), freed before BuildMessage returns.
    const double n = static_cast<double>(messages);
    state.counters["queued_allocs_per_msg"] =
        static_cast<double>(Allocations(kTagMessage) - messagesBefore +
                            Allocations(kTagQueueEntry) - entriesBefore) / n;
    state.counters["all_allocs_per_msg"] = static_cast<double>(TotalAllocations() - before) / n;
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
}
BENCHMARK(BM_BuildAndEnqueue)->Arg(16)->Arg(64)->Arg(260);

}  // namespace

BENCHMARK_MAIN();
