// Simulation throughput: bot steps per second for each community on a
// 1920x1080 habitat, world updates only (no drawing): the saver's walks and
// the marking walks of a run without trails (`lumivor render --no-gl`), and
// the same worlds walked by a plain loop of the general step for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench_support.h"
#include "bots/trail_colours.h"
#include "world/biotope.h"
#include "world/community.h"

namespace {

// Builds community n at 1920x1080 with the system's messages silenced.
void Build(int n) {
    scr_w = 1920;
    scr_h = 1080;
    Silenced([n] { InitCommunity(n, StartClock::Fixed(1765000000 + n)); });
}

double StepsPerUpdate() {
    return static_cast<double>(biotope.n_bots * biotope.bot_steps);
}

// One update as a plain interpreter takes it: every bot through the general step.
void PlainUpdate() {
    for (unsigned long i = 0; i < biotope.n_bots; ++i)
        biotope.bots[i].StepPathHSL(&biotope.hsl_habitat, &biotope.rgb_habitat);
}

// The updates whose instructions bench/instructions.sh counts: kept out of
// line so that callgrind can collect exactly these.
__attribute__((noinline)) void MeasuredUpdates(int count) {
    for (int i = 0; i < count; ++i) biotope.Update();
}
__attribute__((noinline)) void MeasuredPlainUpdates(int count) {
    for (int i = 0; i < count; ++i) PlainUpdate();
}
__attribute__((noinline)) void MeasuredMarkingUpdates(int count, Image* marks) {
    for (int i = 0; i < count; ++i) biotope.UpdateHabitat(marks);
}

template <class UpdateFn>
double NanosecondsPerStep(int updates, UpdateFn update) {
    const double start = ThreadSeconds();
    for (int i = 0; i < updates; ++i) update();
    return 1e9 * (ThreadSeconds() - start) / (updates * StepsPerUpdate());
}

void BM_Community(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Build(n);
    // Let the picture develop a little so the bots see a lived-in habitat.
    for (int i = 0; i < 100; ++i) biotope.Update();
    for (auto _ : state) {
        biotope.Update();
    }
    const double steps = StepsPerUpdate() * static_cast<double>(state.iterations());
    state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
    state.counters["ns/step"] =
        benchmark::Counter(steps, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(community_names[n]);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The median over the ten communities of their steps per second, for the
// specialised walks and for a plain loop of the general step in the same run.
// Each community is built, warmed up, and timed in rounds that alternate
// them, so that all see the same load on a shared machine; a community's
// figure is its best round. The specialised walks are timed three times:
// painting the display after each walk (where the processor allows), inside
// it, and not at all (the walks of a run without trails, which only mark the
// cells they paint).
void BM_CommunityMedian(benchmark::State& state) {
    constexpr int kRounds = 3;
    constexpr int kUpdates = 60;
    std::vector<double> fast(kCommunityCount), in_walk(kCommunityCount), plain(kCommunityCount);
    std::vector<double> no_trails(kCommunityCount);
    Image painted;
    if (!painted.Create(1920, 1080, 8) || !painted.Clear()) {
        state.SkipWithError("no room for the marks of a run without trails");
        return;
    }
    for (auto _ : state) {
        for (int n = 0; n < kCommunityCount; ++n) {
            Build(n);
            for (int i = 0; i < 100; ++i) biotope.Update();
            fast[n] = in_walk[n] = plain[n] = no_trails[n] = 1e30;
            auto update = [] { biotope.Update(); };
            auto habitat_update = [&painted] { biotope.UpdateHabitat(&painted); };
            for (int r = 0; r < kRounds; ++r) {
                fast[n] = std::min(fast[n], NanosecondsPerStep(kUpdates, update));
                AllowVectorTrailPaint(false);
                in_walk[n] = std::min(in_walk[n], NanosecondsPerStep(kUpdates, update));
                AllowVectorTrailPaint(true);
                no_trails[n] = std::min(no_trails[n], NanosecondsPerStep(kUpdates, habitat_update));
                plain[n] = std::min(plain[n], NanosecondsPerStep(kUpdates / 3, PlainUpdate));
            }
            std::printf(
                "community %d %-16s %6.2f ns/step  painted in the walk %6.2f  marking %6.2f  "
                "plain %6.2f  ratio %.2f  marking ratio %.2f\n",
                n, community_names[n], fast[n], in_walk[n], no_trails[n], plain[n],
                plain[n] / fast[n], plain[n] / no_trails[n]);
        }
    }
    const double median = Median(fast), plain_median = Median(plain);
    const double marking = Median(no_trails);
    std::printf(
        "median: %.2f ns/step, marking walks %.2f ns/step (%.0f steps/s), plain %.2f "
        "ns/step; ratio to plain %.2f, marking walks %.2f\n",
        median, marking, 1e9 / marking, plain_median, plain_median / median,
        plain_median / marking);
    state.counters["in-walk paint ns/step"] = Median(in_walk);
    state.counters["marking ns/step"] = marking;
    state.counters["marking ratio to plain"] = plain_median / marking;
    state.counters["median ns/step"] = median;
    state.counters["median steps/s"] = 1e9 / median;
    state.counters["plain ns/step"] = plain_median;
    state.counters["ratio to plain"] = plain_median / median;
}

// A small fixed workload for counting instructions: community n, 100 updates
// to warm up, then `updates` specialised, as many marking and as many plain ones.
void BM_InstructionWorkload(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    constexpr int kUpdates = 10;
    Image marks;
    if (!marks.Create(1920, 1080, 8) || !marks.Clear()) {
        state.SkipWithError("no room for the marks of a run without trails");
        return;
    }
    for (auto _ : state) {
        Build(n);
        for (int i = 0; i < 100; ++i) biotope.Update();
        MeasuredUpdates(kUpdates);
        MeasuredMarkingUpdates(kUpdates, &marks);
        MeasuredPlainUpdates(kUpdates);
    }
    state.counters["steps"] = kUpdates * StepsPerUpdate();
}

}  // namespace

BENCHMARK(BM_Community)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommunityMedian)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InstructionWorkload)->DenseRange(0, 9)->Iterations(1)->Unit(benchmark::kMillisecond);
