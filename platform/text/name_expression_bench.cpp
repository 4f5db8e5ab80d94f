// The matcher's time on expressions that make backtracking matchers explode: it must grow with
// the name length times the expression length, never exponentially.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/kernel/name_expression.h"

namespace {

// name: fill repeated, then the last character.
void MatchLongName(benchmark::State& state, const std::u16string& expression, char16_t fill,
                   char16_t last) {
    std::u16string name(static_cast<std::size_t>(state.range(0)) - 1, fill);
    name += last;
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

std::u16string ManyStars() {
    std::u16string expression;
    for (int i = 0; i < 40; ++i) {
        expression += u"*A";
    }
    return expression + u"*B";
}

// The classic case: no b anywhere. The literal last character rejects it at once.
void StarsNoB(benchmark::State& state) {
    MatchLongName(state, u"*A*A*A*A*A*B", u'a', u'a');
}
// The same with the b at the very end: every state is followed through the whole name.
void StarsBAtEnd(benchmark::State& state) {
    MatchLongName(state, u"*A*A*A*A*A*B", u'a', u'b');
}
// A trailing ? defeats the literal check: the walk runs the whole name and fails.
void StarsNoBThenAny(benchmark::State& state) {
    MatchLongName(state, u"*A*A*A*A*A*B?", u'a', u'a');
}
void DosStarsBAtEnd(benchmark::State& state) {
    MatchLongName(state, u"<A<A<A<A<A<B", u'a', u'b');
}
void FortyStarsBAtEnd(benchmark::State& state) {
    MatchLongName(state, ManyStars(), u'a', u'b');
}

BENCHMARK(StarsNoB)->Arg(32000);
BENCHMARK(StarsBAtEnd)->Arg(1000)->Arg(32000);
BENCHMARK(StarsNoBThenAny)->Arg(32000);
BENCHMARK(DosStarsBAtEnd)->Arg(32000);
BENCHMARK(FortyStarsBAtEnd)->Arg(32000);

}  // namespace
