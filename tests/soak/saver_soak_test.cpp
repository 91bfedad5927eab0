// Long runs of the saver view on a real OpenGL context: thousands of random
// start, tick, resize, stop and release cycles, and every community for
// thousands of updates. Run under the sanitizer build, leaks and stray memory
// accesses show up here. LUMIVOR_SOAK_SCALE (default 1) scales the counts.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "saver/frame_driver.h"
#include "saver/saver_view.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

constexpr std::time_t kClock = 1765000000;

double Scale() {
    const char* text = std::getenv("LUMIVOR_SOAK_SCALE");
    const double s = text != nullptr ? std::atof(text) : 1.0;
    return s > 0 ? s : 1.0;
}

unsigned long Scaled(unsigned long n) {
    const double v = static_cast<double>(n) * Scale();
    return v < 1 ? 1 : static_cast<unsigned long>(v);
}

// The host surface: a framebuffer on the test's context that follows the view's size.
class SoakSurface : public SaverSurface {
  public:
    TestGLSurface gl;
    bool created = false;
    bool detached = false;

    void MakeCurrent() override {}
    void SetFrameSize(int w, int h) override {
        if (w > 0 && h > 0) created = gl.Create(w, h);
    }
    void Detach() override { detached = true; }
};

// Counts the cells where the surface and the world's display raster differ.
size_t SurfaceDifferences(const SoakSurface& s) {
    const Image& h = biotope.rgb_habitat;
    const std::vector<uint8_t> rgb = s.gl.ReadRGB();
    if (rgb.size() != static_cast<size_t>(h.width) * h.height * 3) return rgb.size() + 1;
    size_t differing = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
        differing +=
            rgb[i] != h.data[i] || rgb[i + 1] != h.data[i + 1] || rgb[i + 2] != h.data[i + 2];
    return differing;
}

std::vector<uint8_t> Habitat() {
    const Image& h = biotope.rgb_habitat;
    return std::vector<uint8_t>(h.data, h.data + static_cast<size_t>(h.width) * h.height * 3);
}

class SaverSoak : public ::testing::Test {
  protected:
    void SetUp() override {
        TestGLSurface probe;
        if (!probe.Create(1, 1))
            GTEST_SKIP() << "no OpenGL context (EGL with Mesa's software renderer)";
        ForceCommunity(-1);
        first_call = true;
    }
    void TearDown() override {
        UnfixClock();
        ForceCommunity(-1);
        biotope.Destroy();
    }
};

// A view and its surface, released together: the view first, as a host does.
struct Session {
    std::unique_ptr<SoakSurface> surface;
    std::unique_ptr<Lumivor_saverView> view;
    bool clean = false;  // the surface shows the world: no resize since the start

    void Open(double w, double h) {
        surface = std::make_unique<SoakSurface>();
        view = std::make_unique<Lumivor_saverView>(SaverFrame{0, 0, {w, h}}, false, surface.get());
        clean = false;
    }
    void Close() {
        view.reset();
        surface.reset();
    }
};

TEST_F(SaverSoak, RandomStartTickResizeStopAndReleaseCycles) {
    const unsigned long cycles = Scaled(10000);
    std::mt19937 rng(20251206);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Mostly small surfaces, now and then an empty or a one-pixel one.
    auto side = [&](int max) {
        const int r = pick(0, 19);
        return r == 0 ? 0.0 : r == 1 ? 1.0 : pick(2, max) + pick(0, 9) / 10.0;
    };

    Session s;
    s.Open(64, 48);
    unsigned long starts = 0, ticks = 0, resizes = 0, releases = 0, compared = 0;
    for (unsigned long c = 0; c < cycles; ++c) {
        SCOPED_TRACE("cycle " + std::to_string(c));
        Lumivor_saverView& v = *s.view;
        switch (pick(0, 9)) {
            case 0:  // release, then a new view
                s.Close();
                EXPECT_EQ(biotope.bots, nullptr);
                EXPECT_FALSE(biotope.HasHabitat());
                s.Open(side(160), side(120));
                ++releases;
                break;
            case 1:
            case 2: {  // start: a new world at the frame's size, from a new clock reading
                // A host stops a running view before it starts it again.
                if (v.animating) v.stopAnimation();
                FixClock(kClock + pick(0, 999));
                v.startAnimation();
                const int w = v.PixelWidth(), h = v.PixelHeight();
                EXPECT_TRUE(v.animating);
                EXPECT_EQ(biotope.n_updates, 0u);
                EXPECT_EQ(biotope.HasHabitat(), w > 0 && h > 0);
                if (biotope.HasHabitat()) {
                    EXPECT_EQ(biotope.rgb_habitat.width, static_cast<uint32_t>(w));
                    EXPECT_EQ(biotope.rgb_habitat.height, static_cast<uint32_t>(h));
                }
                s.clean = biotope.HasHabitat() && s.surface->created && s.surface->gl.width == w &&
                          s.surface->gl.height == h;
                ++starts;
                break;
            }
            case 3:  // resize
                v.setFrameSize({side(200), side(150)});
                EXPECT_FALSE(v.GL_ready);
                s.clean = false;
                ++resizes;
                break;
            case 4:  // stop
                v.stopAnimation();
                EXPECT_FALSE(v.animating);
                EXPECT_FALSE(v.GL_ready);
                break;
            default: {  // a few ticks
                const int n = pick(1, 4);
                for (int i = 0; i < n; ++i) {
                    const bool draws = v.animating && v.GL_ready;
                    const unsigned long before = biotope.n_updates;
                    v.animateOneFrame();
                    EXPECT_EQ(biotope.n_updates, before + (draws ? 2u : 0u));
                    EXPECT_EQ(v.GL_ready, v.animating);
                    ++ticks;
                }
                if (s.clean && v.GL_ready) {
                    EXPECT_EQ(SurfaceDifferences(*s.surface), 0u);
                    ++compared;
                }
                break;
            }
        }
        if (HasFailure()) break;
    }
    s.Close();
    EXPECT_EQ(biotope.bots, nullptr);
    std::printf(
        "soak: %lu cycles: %lu starts, %lu ticks, %lu resizes, %lu releases, "
        "%lu surface checks\n",
        cycles, starts, ticks, resizes, releases, compared);
}

// Every community for thousands of updates through the view: the surface keeps
// showing the world cell for cell, and a second run of the same world without
// drawing ends on the same habitat.
TEST_F(SaverSoak, EveryCommunityRunsLongAndReproducibly) {
    const unsigned long ticks = Scaled(1000) + 1;  // the first tick only clears
    const int w = 480, h = 360;
    for (int preset = 0; preset < kCommunityCount; ++preset) {
        SCOPED_TRACE("community " + std::to_string(preset));
        const std::time_t clock = kClock + 37 * preset;
        ForceCommunity(preset);
        FixClock(clock);
        std::vector<uint8_t> drawn;
        {
            Session s;
            s.Open(w, h);
            s.view->startAnimation();
            ASSERT_TRUE(biotope.HasHabitat());
            for (unsigned long t = 0; t < ticks; ++t) s.view->animateOneFrame();
            EXPECT_EQ(biotope.n_updates, 2 * (ticks - 1));
            EXPECT_EQ(SurfaceDifferences(*s.surface), 0u);
            drawn = Habitat();
            s.Close();
        }
        ASSERT_TRUE(Init(w, h));
        for (unsigned long u = 0; u < 2 * (ticks - 1); ++u) biotope.Update();
        EXPECT_TRUE(Habitat() == drawn) << "the same world ended differently";
        biotope.Destroy();
    }
    const double seconds = 10.0 * static_cast<double>(ticks) / 75.0;
    std::printf("soak: 10 communities x %lu ticks at %dx%d = %.1f simulated minutes\n", ticks, w, h,
                seconds / 60.0);
}

}  // namespace
