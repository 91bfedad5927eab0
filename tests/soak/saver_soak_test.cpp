// The saver view on a real OpenGL context at length, for the sanitizer build and valgrind.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "saver/saver_view.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"

struct Surface : SaverSurface {
    TestGLSurface gl;
    void MakeCurrent() override {}
    void SetFrameSize(int w, int h) override { w > 0 && h > 0 && gl.Create(w, h); }
    bool ShowsHabitat() const {  // cell for cell
        const Image& h = biotope.rgb_habitat;
        return gl.ReadRGB() == std::vector<uint8_t>(h.data, h.data + h.width * h.height * 3);
    }
};

TEST(SaverSoak, RandomCyclesThenEveryCommunityAtLength) {
    const char* scale = std::getenv("LUMIVOR_SOAK_SCALE");  // scales the lengths; default 1
    const int cycles = static_cast<int>(4000 * (scale ? std::atof(scale) : 1)) + 1;
    std::mt19937 rng(20251206);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto side = [&] { return pick(0, 9) != 0 ? pick(2, 160) + pick(0, 9) / 10.0 : pick(0, 1); };
    Surface surface;
    std::optional<Lumivor_saverView> view;
    bool clean = false;  // the surface holds just the drawing of the running world
    for (int c = 0; c < cycles && !HasFailure(); ++c) {
        const int action = pick(0, 9);
        if (action == 0 || !view) view.emplace(SaverFrame{0, 0, {side(), side()}}, false, &surface);
        if (action == 1) view->start.clock = StartClock::Fixed(1765000000 + pick(0, 999));
        if (action == 1) view->startAnimation();
        if (action == 2) view->setFrameSize({side(), side()});
        if (action == 1 || action == 2) clean = action == 1 && biotope.HasHabitat();
        if (action == 3) view->stopAnimation();
        if (action >= 4) view->animateOneFrame();
        EXPECT_TRUE(action < 4 || !clean || !view->GL_ready || surface.ShowsHabitat()) << c;
    }
    for (int preset = 0; preset < 10 && !HasFailure(); ++preset) {
        view.emplace(SaverFrame{0, 0, {480, 360}}, false, &surface);
        view->start.clock = StartClock::Fixed(1765000000 + preset);  // the clock chooses
        view->startAnimation();
        for (int t = 0; t <= cycles / 4; ++t) view->animateOneFrame();  // the first tick clears
        EXPECT_TRUE(surface.ShowsHabitat()) << "community " << preset;
    }
    std::printf("soak: %d cycles, 10 communities x %d ticks at 480x360\n", cycles, cycles / 4);
}
