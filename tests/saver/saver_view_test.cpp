// The saver view and frame driver on a real OpenGL context: what each tick
// leaves on the surface, and how start, resize, stop and release treat the world.

#include "saver/saver_view.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "saver/frame_driver.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

// Clock readings that select community 0 (clear colour 201, 202, 196) and 3 (198, 205, 197).
constexpr std::time_t kClockPreset0 = 1765000000;
constexpr std::time_t kClockPreset3 = 1765000003;

// The host surface of the view, on the test's OpenGL surface.
class TestSurface : public SaverSurface {
  public:
    TestGLSurface gl;
    int frame_w = -1, frame_h = -1;
    int make_current_calls = 0;
    bool detached = false;

    void MakeCurrent() override { ++make_current_calls; }
    void SetFrameSize(int w, int h) override {
        frame_w = w;
        frame_h = h;
        if (w > 0 && h > 0) gl.Create(w, h);
    }
    void Detach() override { detached = true; }
};

class SaverViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FixClock(kClockPreset0);
        ForceCommunity(-1);
        first_call = true;
    }
    void TearDown() override {
        UnfixClock();
        ForceCommunity(-1);
    }
};

bool AllPixels(const std::vector<uint8_t>& rgb, RGB_888 c) {
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] != c.r || rgb[i + 1] != c.g || rgb[i + 2] != c.b) return false;
    return !rgb.empty();
}

// The surface equals the world's display raster cell for cell (row 0 at the bottom).
void ExpectSurfaceShowsHabitat(const std::vector<uint8_t>& rgb) {
    const Image& h = biotope.rgb_habitat;
    ASSERT_EQ(rgb.size(), static_cast<size_t>(h.width) * h.height * 3);
    size_t differing = 0;
    for (size_t i = 0; i < rgb.size(); ++i) differing += rgb[i] != h.data[i];
    EXPECT_EQ(differing, 0u);
}

TEST_F(SaverViewTest, FirstTickClearsAndLaterTicksDrawTheWorld) {
    TestSurface surface;
    Lumivor_saverView view({0, 0, {160, 120}}, false, &surface);
    view.startAnimation();
    EXPECT_EQ(curr_comm_i, 0);
    EXPECT_EQ(rand_seed, kClockPreset0);
    ASSERT_TRUE(biotope.HasHabitat());

    view.animateOneFrame();
    EXPECT_TRUE(view.GL_ready);
    EXPECT_TRUE(AllPixels(surface.gl.ReadRGB(), RGB_888{201, 202, 196}));
    EXPECT_EQ(biotope.n_updates, 0u);

    view.animateOneFrame();
    EXPECT_EQ(biotope.n_updates, 2u);
    const std::vector<uint8_t> drawn = surface.gl.ReadRGB();
    EXPECT_FALSE(AllPixels(drawn, RGB_888{201, 202, 196}));
    ExpectSurfaceShowsHabitat(drawn);

    for (int i = 0; i < 20; ++i) view.animateOneFrame();
    EXPECT_EQ(biotope.n_updates, 42u);
    ExpectSurfaceShowsHabitat(surface.gl.ReadRGB());
    EXPECT_EQ(surface.make_current_calls, 1 + 22);
}

TEST_F(SaverViewTest, SizeChangeClearsOnceAndKeepsTheWorld) {
    TestSurface surface;
    Lumivor_saverView view({0, 0, {160, 120}}, false, &surface);
    view.startAnimation();
    for (int i = 0; i < 5; ++i) view.animateOneFrame();
    const Bot* bots = biotope.bots;
    const unsigned long updates = biotope.n_updates;

    view.setFrameSize({200.7, 90.2});
    EXPECT_FALSE(view.GL_ready);
    EXPECT_EQ(surface.frame_w, 200);
    EXPECT_EQ(surface.frame_h, 90);
    view.animateOneFrame();
    EXPECT_TRUE(AllPixels(surface.gl.ReadRGB(), RGB_888{201, 202, 196}));
    EXPECT_EQ(biotope.bots, bots);
    EXPECT_EQ(biotope.n_updates, updates);
    EXPECT_EQ(biotope.rgb_habitat.width, 160u);

    // Drawing resumes from the bottom-left corner on the new projection: every pixel
    // is either still clear or shows its world cell; nothing lands beyond the world.
    view.animateOneFrame();
    const std::vector<uint8_t> rgb = surface.gl.ReadRGB();
    const Image& h = biotope.rgb_habitat;
    int drawn = 0, wrong = 0;
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 200; ++x) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * 200 + x) * 3];
            const bool clear = p[0] == 201 && p[1] == 202 && p[2] == 196;
            if (x >= 160) {
                wrong += !clear;
                continue;
            }
            const uint8_t* cell = h.data + (static_cast<size_t>(y) * 160 + x) * 3;
            if (std::memcmp(p, cell, 3) == 0)
                drawn += !clear;
            else
                wrong += !clear;
        }
    }
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(wrong, 0);
}

TEST_F(SaverViewTest, StopThenStartBuildsANewWorldFromTheClock) {
    TestSurface surface;
    Lumivor_saverView view({0, 0, {120, 100}}, false, &surface);
    view.startAnimation();
    view.animateOneFrame();
    view.animateOneFrame();
    view.stopAnimation();
    EXPECT_FALSE(view.GL_ready);
    view.animateOneFrame();  // a late tick after stop changes nothing
    EXPECT_EQ(biotope.n_updates, 2u);

    FixClock(kClockPreset3);
    view.startAnimation();
    EXPECT_EQ(curr_comm_i, 3);
    EXPECT_EQ(biotope.seed, static_cast<unsigned long>(kClockPreset3));
    EXPECT_EQ(biotope.n_updates, 0u);
    view.animateOneFrame();
    EXPECT_TRUE(AllPixels(surface.gl.ReadRGB(), RGB_888{198, 205, 197}));
    view.animateOneFrame();
    ExpectSurfaceShowsHabitat(surface.gl.ReadRGB());
}

TEST_F(SaverViewTest, ForcedCommunityOverridesTheClock) {
    TestSurface surface;
    Lumivor_saverView view({0, 0, {64, 48}}, false, &surface);
    ForceCommunity(4);
    view.startAnimation();
    EXPECT_EQ(curr_comm_i, 4);
    EXPECT_EQ(rand_seed, kClockPreset0);
    view.animateOneFrame();
    EXPECT_TRUE(AllPixels(surface.gl.ReadRGB(), RGB_888{202, 202, 200}));
}

TEST_F(SaverViewTest, ClearColourReachesOpenGLAsQuotientsOf255) {
    TestGLSurface gl;
    ASSERT_TRUE(gl.Create(8, 8));
    clear_clr = RGB_888{201, 202, 196};
    OnReshape(8, 8);
    float value[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, value);
    EXPECT_EQ(value[0], 201 / 255.f);
    EXPECT_EQ(value[1], 202 / 255.f);
    EXPECT_EQ(value[2], 196 / 255.f);
    EXPECT_EQ(value[3], 1.f);
    EXPECT_TRUE(AllPixels(gl.ReadRGB(), RGB_888{201, 202, 196}));
}

TEST_F(SaverViewTest, OnlyTheFirstDisplayOfTheProcessClears) {
    // A world of fewer than 1200 cells takes no steps, so only clearing changes pixels.
    TestGLSurface gl;
    ASSERT_TRUE(gl.Create(30, 30));
    scr_w = scr_h = 30;
    ASSERT_TRUE(InitCommunity(0));
    OnReshape(30, 30);
    gl.Clear(1, 2, 3);
    OnDisplay();
    EXPECT_FALSE(first_call);
    EXPECT_TRUE(AllPixels(gl.ReadRGB(), RGB_888{201, 202, 196}));
    gl.Clear(1, 2, 3);
    OnDisplay();
    EXPECT_TRUE(AllPixels(gl.ReadRGB(), RGB_888{1, 2, 3}));
}

TEST_F(SaverViewTest, FractionalFrameIsTruncated) {
    TestSurface surface;
    Lumivor_saverView view({0, 0, {1279.6, 799.9}}, false, &surface);
    view.startAnimation();
    EXPECT_EQ(scr_w, 1279);
    EXPECT_EQ(scr_h, 799);
    EXPECT_EQ(surface.frame_w, 1279);
    EXPECT_EQ(surface.frame_h, 799);
    EXPECT_EQ(biotope.rgb_habitat.width, 1279u);
    EXPECT_EQ(biotope.bot_steps, 1279ul * 799 / 1200);
}

TEST(SaverViewFrame, SidesTruncateTowardZeroAndNonsenseBecomesEmpty) {
    struct Case {
        double side;
        int pixels;
    };
    for (const Case c : {Case{1279.6, 1279}, Case{799.9, 799}, Case{0.99, 0}, Case{-3.5, 0},
                         Case{std::nan(""), 0}, Case{1e12, INT_MAX}}) {
        EXPECT_EQ(Lumivor_saverView::ToPixels(c.side), c.pixels) << c.side;
    }
}

TEST_F(SaverViewTest, ZeroSizedSurfaceRunsWithoutAWorld) {
    for (const SaverSize size : {SaverSize{0, 0}, SaverSize{0.6, 300}, SaverSize{300, 0}}) {
        TestSurface surface;
        Lumivor_saverView view({0, 0, size}, true, &surface);
        view.startAnimation();
        EXPECT_FALSE(biotope.HasHabitat());
        for (int i = 0; i < 4; ++i) view.animateOneFrame();
        EXPECT_TRUE(view.GL_ready);
    }
}

TEST_F(SaverViewTest, ReleaseDestroysTheWorldThenDetachesTheSurface) {
    TestSurface surface;
    {
        Lumivor_saverView view({0, 0, {80, 60}}, false, &surface);
        EXPECT_FALSE(view.hasConfigureSheet());
        EXPECT_EQ(view.configureSheet(), nullptr);
        view.startAnimation();
        view.animateOneFrame();
        ASSERT_TRUE(biotope.HasHabitat());
    }
    EXPECT_FALSE(biotope.HasHabitat());
    EXPECT_EQ(biotope.bots, nullptr);
    EXPECT_TRUE(surface.detached);
}

TEST_F(SaverViewTest, ViewWithoutSurfaceDoesNothing) {
    Lumivor_saverView view({0, 0, {80, 60}}, false, nullptr);
    view.startAnimation();
    view.animateOneFrame();
    EXPECT_FALSE(view.GL_ready);
}

}  // namespace
