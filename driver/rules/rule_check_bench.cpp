// The cost of one rule check as the table grows: the event's name matches no rule but the last,
// so every check walks the whole table (the worst case of the linear walk).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/kernel/unicode_string.h"
#include "rule_table.h"
#include "wire/port_wire.h"

namespace {

using namespace kernel;
namespace wire = vesk::wire;

UnicodeString View(const std::u16string& s) {
    return UnicodeString{static_cast<std::uint16_t>(s.size() * 2),
                         static_cast<std::uint16_t>(s.size() * 2), const_cast<char16_t*>(s.data())};
}

void RuleCheck(benchmark::State& state) {
    vesk::driver::RuleTable table;
    const auto rules = static_cast<std::uint32_t>(state.range(0));
    for (std::uint32_t i = 0; i < rules; ++i) {
        const bool last = i + 1 == rules;
        const std::u16string pattern = last ? u"*\\DOCUMENTS\\*.DOCX"
                                            : u"\\DEVICE\\HARDDISKVOLUME2\\PROJECTS\\P" +
                                                  std::u16string(1, u'A' + i % 26) +
                                                  std::u16string(i / 26 + 1, u'0') + u"\\*";
        const UnicodeString text = View(pattern);
        const wire::Guid id{i, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
        if (!NtSuccess(table.AddRule({id, wire::kRuleAnyProcess, 0, 0, 0, &text}))) {
            state.SkipWithError("AddRule failed");
            return;
        }
    }
    const std::u16string name =
        u"\\Device\\HarddiskVolume2\\Users\\someone\\Documents\\report.docx";
    const UnicodeString nameText = View(name);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            table.Check(1200, &nameText, wire::VeskCategoryFileSystem, wire::VeskOpCreate));
    }
    table.FreeTable();
}

BENCHMARK(RuleCheck)->Arg(0)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
