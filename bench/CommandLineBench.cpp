// qlarkw-cli's command line with an option repeated N times: the time per
// option stays the same however many there are (the fit reported is O(N)).
#include <benchmark/benchmark.h>
#include <QStringList>

#include "cli/CommandLine.h"

namespace {

void BM_ParseRepeatedOptions(benchmark::State& state) {
    QStringList arguments;
    for (int64_t i = 0; i < state.range(0); ++i)
        arguments << QStringLiteral("--board") << QStringLiteral("1");
    arguments << QStringLiteral("erase");
    for (auto _ : state) benchmark::DoNotOptimize(cli::ParseCommandLine(arguments));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseRepeatedOptions)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
