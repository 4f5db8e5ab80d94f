// Loading a reply of 100 000 file operations: parsing the document, then the list of objects.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "http_comm/cmd_reader.h"
#include "tree/file_oper_item.h"

namespace nimbrel {
namespace {

constexpr int kItems = 100'000;

// The reply as the service writes it (one line, no white space), built as text so that the
// memory high-water mark belongs to loading, not to building.
const std::string& Reply() {
    static const std::string reply = [] {
        std::string text = "<root><items>";
        for (int i = 0; i < kItems; ++i) {
            const int kind = 1 + i % 8;
            std::string data;
            if (kind == okMove || kind == okLink) {
                data = "C:\\Users\\someone\\Documents\\report-" + std::to_string(i) + ".docx";
            } else if (kind != okDelete && kind != okSecurity) {
                data = std::to_string(i * 37);
            }
            text += "<item><id>" + std::to_string(1'000'000 + i) + "</id><kind>" +
                    std::to_string(kind) + "</kind><userid>" + std::to_string(i % 13) +
                    "</userid><procid>" + std::to_string(i % 97) + "</procid><operdata>" + data +
                    "</operdata><timestamp>2024-03-05T14:" + std::to_string(10 + i % 50) + ":" +
                    std::to_string(10 + i % 49) + "</timestamp></item>";
        }
        return text +
               "</items><command>XmlGetEvents</command><status><value>1</value><message/>"
               "</status></root>";
    }();
    return reply;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_ParseReply(benchmark::State& State) {
    TMemoryStream stream(Reply());
    for (auto _ : State) {
        TCMDReader reader(stream);
        reader.LoadFromStream();
        benchmark::DoNotOptimize(reader.Status());
    }
    State.SetItemsProcessed(State.iterations() * kItems);
    State.SetBytesProcessed(State.iterations() * static_cast<std::int64_t>(Reply().size()));
    State.counters["peak_rss_MiB"] = PeakMiB();
}

void BM_LoadFileOperReply(benchmark::State& State) {
    TMemoryStream stream(Reply());
    for (auto _ : State) {
        TCMDReader reader(stream);
        reader.LoadFromStream();
        TFileOperList list;
        list.LoadFromXML(reader, "items");
        if (list.Count() != kItems) {
            State.SkipWithError("not every item was loaded");
        }
    }
    State.SetItemsProcessed(State.iterations() * kItems);
    State.counters["reply_MiB"] = static_cast<double>(Reply().size()) / (1024.0 * 1024.0);
    State.counters["peak_rss_MiB"] = PeakMiB();
}

BENCHMARK(BM_ParseReply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFileOperReply)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nimbrel

BENCHMARK_MAIN();
