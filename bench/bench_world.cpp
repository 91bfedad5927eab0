// Simulation throughput: bot steps per second for each community on a
// 1920x1080 habitat, world updates only (no drawing).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
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

// The median over the ten communities of their steps per second: each
// community is built, warmed up, and timed over the same number of updates.
void BM_CommunityMedian(benchmark::State& state) {
    std::vector<double> ns_per_step;
    for (auto _ : state) {
        ns_per_step.clear();
        for (int n = 0; n < kCommunityCount; ++n) {
            Build(n);
            for (int i = 0; i < 100; ++i) biotope.Update();
            const int updates = 200;
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < updates; ++i) biotope.Update();
            const std::chrono::duration<double, std::nano> took =
                std::chrono::steady_clock::now() - start;
            ns_per_step.push_back(took.count() /
                                  (static_cast<double>(updates) *
                                   static_cast<double>(biotope.n_bots * biotope.bot_steps)));
        }
    }
    std::sort(ns_per_step.begin(), ns_per_step.end());
    const double median = (ns_per_step[4] + ns_per_step[5]) / 2;
    state.counters["median ns/step"] = median;
    state.counters["median steps/s"] = 1e9 / median;
}

}  // namespace

BENCHMARK(BM_Community)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommunityMedian)->Iterations(1)->Unit(benchmark::kMillisecond);
