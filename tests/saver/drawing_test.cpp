// The saver's heart on a pixel buffer: it shows the display habitat, cell for cell, for every
// community; and the first OpenGL display of a process clears. (OpenGL's trails for every
// community: the saver soak's file; the render's cell marks: the reference runs and the video
// test's frames; a host's cadence: the run loop's test; the surface cleared after a resize,
// then drawn on: the X host test's BothWaysRedrawAfterAnExposeAndAResize for pixels, the
// saver view's test for OpenGL.)
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/shared/pixel_trails.h"
#include "saver/frame_driver.h"
#include "saver/saver.h"
#include "tests/support/captured.h"
#include "tests/support/gl_surface.h"
#include "world/community.h"

namespace {

TEST(Drawing, PixelsShowTheDisplayHabitatForEveryCommunity) {
    const PixelFormat rgba{0, 8, 16, 0xff000000u, false};
    for (int n = 0; n < kCommunityCount; ++n) {
        SCOPED_TRACE("community " + std::to_string(n));
        const int w = 97 + n, h = 61 + 2 * n;  // odd sizes: rows are not 4-byte multiples

        Saver saver;
        saver.start = RunStart{StartClock::Fixed(1765000000 + n), n};
        Captured([&] { saver.Start(w, h); });
        biotope.SetBotSteps(400);  // more steps than a share: trails cross and overwrite
        std::vector<uint32_t> buffer(size_t(w) * h);
        PixelTrails pixels;
        ASSERT_TRUE(pixels.Attach(buffer.data(), w, h, w * 4, rgba));
        for (int t = 1; t <= 16; ++t) saver.Tick(pixels);
        const Image& habitat = biotope.rgb_habitat;
        const std::vector<uint8_t> shown(habitat.data, habitat.data + size_t(w) * h * 3);
        ASSERT_NE(shown, std::vector<uint8_t>(shown.size(), shown[0])) << "nothing painted";
        std::vector<uint8_t> bottom_up;  // the buffer as OpenGL reads a surface back
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x)
                for (int shift : {0, 8, 16})
                    bottom_up.push_back(uint8_t(buffer[size_t(y) * w + x] >> shift));
        EXPECT_EQ(bottom_up, shown);
    }
}

// How many pixels of `rgb` have the colour c.
size_t Count(const std::vector<uint8_t>& rgb, RGB_888 c) {
    size_t n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
        n += rgb[i] == c.r && rgb[i + 1] == c.g && rgb[i + 2] == c.b;
    return n;
}

// The first OnDisplay of the process clears before it draws; later ones draw
// over what the surface holds. (CTest runs every test in a process of its own.)
TEST(FrameDriver, OnlyTheFirstDisplayOfTheProcessClears) {
    TestGLSurface gl;
    ASSERT_TRUE(gl.Create(64, 48));
    Captured([] { StartRun(64, 48, RunStart{StartClock::Fixed(1765000000), -1}); });
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    OnDisplay();
    EXPECT_EQ(Count(gl.ReadRGB(), {0, 0, 0}), 0u);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    OnDisplay();
    EXPECT_GT(Count(gl.ReadRGB(), {0, 0, 0}), 64u * 48u / 2);  // a few trails on black
}

}  // namespace
