// The matcher's time on expressions that make backtracking matchers explode: it must grow with
// the name length times the expression length, never exponentially.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/kernel/name_expression.h"

namespace {

void MatchLongName(benchmark::State& state, const std::u16string& expression, char16_t fill) {
    const std::u16string name(static_cast<std::size_t>(state.range(0)), fill);
    kernel::UnicodeString e{static_cast<std::uint16_t>(expression.size() * 2),
                            static_cast<std::uint16_t>(expression.size() * 2),
                            const_cast<char16_t*>(expression.data())};
    kernel::UnicodeString n{static_cast<std::uint16_t>(name.size() * 2),
                            static_cast<std::uint16_t>(name.size() * 2),
                            const_cast<char16_t*>(name.data())};
    std::vector<std::uint64_t> words(kernel::NameExpressionStateWords(e.Length));
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernel::IsNameInExpression(e, n, true, words));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void StarsThenMissingB(benchmark::State& state) {
    MatchLongName(state, u"*A*A*A*A*A*B", u'a');
}
void DosStarsThenMissingB(benchmark::State& state) {
    MatchLongName(state, u"<A<A<A<A<A<B", u'a');
}
void ManyStarsThenMissingB(benchmark::State& state) {
    std::u16string expression;
    for (int i = 0; i < 40; ++i) {
        expression += u"*A";
    }
    MatchLongName(state, expression + u"*B", u'a');
}

BENCHMARK(StarsThenMissingB)->Arg(1000)->Arg(32000);
BENCHMARK(DosStarsThenMissingB)->Arg(32000);
BENCHMARK(ManyStarsThenMissingB)->Arg(32000);

}  // namespace
