// The saver view and frame driver on a real OpenGL context, read back after each tick.
#include "saver/saver_view.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <vector>

#include "saver/frame_driver.h"
#include "saver/start.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

struct Surface : SaverSurface {
    TestGLSurface gl;
    void MakeCurrent() override {}
    void SetFrameSize(int w, int h) override { w > 0 && h > 0 && gl.Create(w, h); }
};

bool AllOf(const std::vector<uint8_t>& rgb, RGB_888 c) {
    for (size_t i = 0; i < rgb.size(); i += 3)
        if (rgb[i] != c.r || rgb[i + 1] != c.g || rgb[i + 2] != c.b) return false;
    return !rgb.empty();
}

// The surface equals the world's display raster cell for cell (row 0 at the bottom).
bool ShowsHabitat(const std::vector<uint8_t>& rgb) {
    const Image& h = biotope.rgb_habitat;
    return rgb == std::vector<uint8_t>(h.data, h.data + h.width * h.height * 3);
}

// The first tick after a start or resize only clears (to the clear colour / 255); later ticks
// draw the world; a resize keeps the world; stop then start builds a new one from the clock.
TEST(SaverView, TicksResizeStopAndStart) {
    FixClock(1765000000);  // community 0, clear colour (201, 202, 196)
    Surface surface;
    Lumivor_saverView view({0, 0, {160, 120}}, false, &surface);
    view.startAnimation();
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), {201, 202, 196}));
    std::array<float, 4> clear{};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
    EXPECT_EQ(clear, (std::array{201 / 255.f, 202 / 255.f, 196 / 255.f, 1.f}));
    view.animateOneFrame();
    EXPECT_EQ(biotope.n_updates, 2u);
    EXPECT_TRUE(ShowsHabitat(surface.gl.ReadRGB()));

    view.setFrameSize({200.7, 90.2});
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), {201, 202, 196}));
    EXPECT_EQ(biotope.n_updates, 2u);

    view.stopAnimation();
    FixClock(1765000003);  // community 3, clear colour (198, 205, 197)
    view.startAnimation();
    EXPECT_EQ(biotope.seed, 1765000003u);
    view.animateOneFrame();
    EXPECT_TRUE(AllOf(surface.gl.ReadRGB(), {198, 205, 197}));
    view.animateOneFrame();
    EXPECT_TRUE(ShowsHabitat(surface.gl.ReadRGB()));
}

// Fractional frames truncate; empty or nonsense sizes give no world and no crash.
TEST(SaverView, FrameSizes) {
    Surface surface;
    Lumivor_saverView view({0, 0, {1279.6, 799.9}}, false, &surface);
    view.startAnimation();
    EXPECT_EQ(scr_w, 1279);
    EXPECT_EQ(scr_h, 799);
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

// The first OnDisplay of the process clears before it draws; later ones draw
// over what the surface holds.
TEST(FrameDriver, OnlyTheFirstDisplayOfTheProcessClears) {
    const FixedStart fixed({true, 1765000000, -1});  // community 0, clear colour (201, 202, 196)
    TestGLSurface gl;
    ASSERT_TRUE(gl.Create(64, 48));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    StartWorld(64, 48);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    auto black_cells = [&gl] {
        const std::vector<uint8_t> rgb = gl.ReadRGB();
        size_t n = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            n += rgb[i] == 0 && rgb[i + 1] == 0 && rgb[i + 2] == 0;
        return n;
    };
    ResetFrameDriverForTest();
    gl.Clear(0, 0, 0);
    OnDisplay();
    EXPECT_EQ(black_cells(), 0u);
    gl.Clear(0, 0, 0);
    OnDisplay();
    EXPECT_GT(black_cells(), 64u * 48u / 2);  // a few trails on black
}

}  // namespace
