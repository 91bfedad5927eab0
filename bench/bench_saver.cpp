// The saver's ticks on a pixel buffer of 1920x1080 as the X11, Wayland and
// Windows hosts run them (PixelTrails): the two updates and their trails
// painted, the changed tiles taken after each tick as a present takes them.
// Thread CPU time per tick, and the part of it that paints the trails.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_support.h"
#include "host/shared/pixel_trails.h"
#include "saver/saver.h"
#include "world/community.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Starts community n with the system's messages silenced.
void Start(Saver& saver, int n) {
    saver.start = RunStart{StartClock::Fixed(1765000000 + n), n};
    Silenced([&] { saver.Start(kWidth, kHeight); });
}

// The trails painter, timing its own part.
class TimedTrails : public PixelTrails {
  public:
    double seconds = 0;
    void DrawTrails(const Biotope& world) override {
        const double start = ThreadSeconds();
        PixelTrails::DrawTrails(world);
        seconds += ThreadSeconds() - start;
    }
};

// `count` ticks, the changed tiles taken after each as a present takes them.
void MeasuredTicks(Saver& saver, PixelTrails& pixels, int count) {
    const PixelRect* rects = nullptr;
    for (int i = 0; i < count; ++i) {
        saver.Tick(pixels);
        pixels.damage.Take(&rects);
    }
}

// Community n: started, 100 ticks to let the picture develop, then the best
// of five rounds of 30 ticks.
void BM_SaverTicks(benchmark::State& state) {
    constexpr int kRounds = 5, kTicks = 30;
    const int n = static_cast<int>(state.range(0));
    std::vector<uint32_t> buffer(static_cast<size_t>(kWidth) * kHeight);
    double tick = 1e30, paint = 1e30;
    for (auto _ : state) {
        Saver saver;
        TimedTrails pixels;
        Start(saver, n);
        if (!pixels.Attach(buffer.data(), kWidth, kHeight, kWidth * 4, PixelFormat{})) {
            state.SkipWithError("no room for the tiles");
            return;
        }
        MeasuredTicks(saver, pixels, 100);
        for (int r = 0; r < kRounds; ++r) {
            pixels.seconds = 0;
            const double start = ThreadSeconds();
            MeasuredTicks(saver, pixels, kTicks);
            const double us = 1e6 * (ThreadSeconds() - start) / kTicks;
            if (us < tick) {
                tick = us;
                paint = 1e6 * pixels.seconds / kTicks;
            }
        }
    }
    state.counters["us/tick"] = tick;
    state.counters["painting us/tick"] = paint;
    state.SetLabel(community_names[n]);
}

}  // namespace

BENCHMARK(BM_SaverTicks)->DenseRange(0, 9)->Iterations(1)->Unit(benchmark::kMillisecond);
