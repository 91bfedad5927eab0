// Simulation throughput: bot steps per second for each community on a
// 1920x1080 habitat, world updates only (no drawing).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

// Builds community n at 1920x1080 with the system's messages silenced.
void Build(int n) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2);
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null != nullptr) {
        dup2(fileno(null), 1);
        dup2(fileno(null), 2);
    }
    scr_w = 1920;
    scr_h = 1080;
    FixClock(1765000000 + n);
    InitCommunity(n);
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (null != nullptr) std::fclose(null);
}

void BM_Community(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Build(n);
    // Let the picture develop a little so the bots see a lived-in habitat.
    for (int i = 0; i < 100; ++i) biotope.Update();
    for (auto _ : state) {
        biotope.Update();
    }
    const double steps_per_update = static_cast<double>(biotope.n_bots * biotope.bot_steps);
    state.counters["steps/s"] = benchmark::Counter(
        steps_per_update * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns/step"] = benchmark::Counter(
        steps_per_update * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(community_names[n]);
}

}  // namespace

BENCHMARK(BM_Community)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
