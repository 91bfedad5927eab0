// The saver view on a real OpenGL context: its cadence, then at length, for the sanitizer build
// and valgrind.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <optional>
#include <random>

#include "saver/saver_view.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/community.h"

struct Surface : SaverSurface {
    TestGLSurface gl;
    void MakeCurrent() override {}
    void SetFrameSize(int w, int h) override { w > 0 && h > 0 && gl.Create(w, h); }
    bool ShowsHabitat() const {  // cell for cell
        const Image& h = biotope.rgb_habitat;
        return gl.ReadRGB() == std::vector<uint8_t>(h.data, h.data + h.width * h.height * 3);
    }
};

bool AllOf(const std::vector<uint8_t>& rgb, RGB_888 c) {  // every pixel c
    for (size_t i = 0; i < rgb.size(); i += 3)
        if (rgb[i] != c.r || rgb[i + 1] != c.g || rgb[i + 2] != c.b) return false;
    return !rgb.empty();
}

// The first tick after a start or resize only clears (to the clear colour / 255); later ticks
// draw the world; a resize keeps the world; stop then start builds a new one, its community
// the whole 64-bit reading mod 10, its size the frame's in whole pixels.
TEST(SaverView, TicksResizeStopStartAndSizes) {
    Surface surface;
    Lumivor_saverView view({0, 0, {160, 120}}, false, &surface);
    view.start = RunStart{StartClock::Fixed(1765000000), -1};  // community 0, (201, 202, 196)
    view.startAnimation();
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), {201, 202, 196}));
    std::array<float, 4> clear{};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
    EXPECT_EQ(clear, (std::array{201 / 255.f, 202 / 255.f, 196 / 255.f, 1.f}));
    view.animateOneFrame();
    EXPECT_EQ(biotope.n_updates, 2u);
    EXPECT_TRUE(surface.ShowsHabitat());

    view.setFrameSize({200.7, 90.2});
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), {201, 202, 196}));
    EXPECT_EQ(biotope.n_updates, 2u);

    view.stopAnimation();
    view.start.clock = StartClock::Fixed(4294967299LL);  // low 32 bits: 3
    view.startAnimation();
    EXPECT_EQ(biotope.seed, 4294967299u);
    EXPECT_TRUE(curr_comm_i == 9 && scr_w == 200 && scr_h == 90);  // fractions truncated
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), *clear_rgb[9]));

    // Empty or nonsense sizes give no world and no crash.
    EXPECT_EQ(Lumivor_saverView::ToPixels(-3.5), 0);
    EXPECT_EQ(Lumivor_saverView::ToPixels(std::nan("")), 0);
    EXPECT_EQ(Lumivor_saverView::ToPixels(1e12), INT_MAX);
    for (const SaverSize size : {SaverSize{0, 0}, SaverSize{0.6, 300}, SaverSize{300, 0}}) {
        view.setFrameSize(size);
        view.startAnimation();
        for (int i = 0; i < 3; ++i) view.animateOneFrame();
        EXPECT_FALSE(biotope.HasHabitat());
    }
}

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
