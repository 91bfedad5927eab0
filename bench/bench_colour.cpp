// Calls per second of the random generator and the integer colour
// conversions that run at every bot step.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "colour/hsl.h"
#include "colour/random_tovi.h"

namespace {

void BM_RandomTovi(benchmark::State& state) {
    srandom_tovi(12345);
    for (auto _ : state) benchmark::DoNotOptimize(random_tovi());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomTovi);

void BM_HSLtoRGB(benchmark::State& state) {
    // Walk the whole input space so that every hue sector and both
    // lightness branches are taken.
    uint32_t i = 0;
    for (auto _ : state) {
        const HSL_888 in = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                            static_cast<uint8_t>(i >> 16)};
        RGB_888 out;
        HSLtoRGB(&in, &out);
        benchmark::DoNotOptimize(out);
        i += 40503;  // odd: visits all 2^24 triples before repeating
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HSLtoRGB);

void BM_RGBtoHSL(benchmark::State& state) {
    uint32_t i = 0;
    for (auto _ : state) {
        const RGB_888 in = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                            static_cast<uint8_t>(i >> 16)};
        HSL_888 out;
        RGBtoHSL(&in, &out);
        benchmark::DoNotOptimize(out);
        i += 40503;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RGBtoHSL);

}  // namespace
