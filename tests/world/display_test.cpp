// What the screen shows: trails drawn as points onto a surface cleared to the
// clear colour add up to exactly the display habitat, cell for cell.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

void Build(int community, int w, int h, long clock) {
    scr_w = w;
    scr_h = h;
    FixClock(clock);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    InitCommunity(community);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    UnfixClock();
}

// Index of the first cell where screen and habitat differ, or -1.
long FirstDifference(const std::vector<uint8_t>& screen, const Image& habitat) {
    const size_t n = static_cast<size_t>(habitat.width) * habitat.height * 3;
    for (size_t i = 0; i < n; ++i) {
        if (screen[i] != habitat.data[i]) return static_cast<long>(i / 3);
    }
    return -1;
}

}  // namespace

TEST(Display, ScreenEqualsDisplayHabitatForEveryCommunity) {
    for (int n = 0; n < kCommunityCount; ++n) {
        const int w = 97 + n, h = 61 + 2 * n;  // odd sizes: rows are not 4-byte multiples
        Build(n, w, h, 1765000000 + n);
        TestGLSurface surface;
        ASSERT_TRUE(surface.Create(w, h));
        surface.Clear(clear_clr.r, clear_clr.g, clear_clr.b);
        // More steps than the surface's own share, so trails cross and overwrite.
        biotope.SetBotSteps(400);
        for (int u = 0; u < 30; ++u) {
            biotope.Update();
            biotope.DisplayPaths();
        }
        glFinish();
        const std::vector<uint8_t> screen = surface.ReadRGB();
        EXPECT_EQ(FirstDifference(screen, biotope.rgb_habitat), -1) << "community " << n;
        // And the bots did paint something.
        bool painted = false;
        for (size_t i = 0; i < screen.size(); i += 3)
            painted |= screen[i] != clear_clr.r || screen[i + 1] != clear_clr.g;
        EXPECT_TRUE(painted) << "community " << n;
    }
}

TEST(Display, PathDrawsOnePointPerStepInItsColour) {
    TestGLSurface surface;
    ASSERT_TRUE(surface.Create(8, 6));
    surface.Clear(0, 0, 0);
    Bot bot;
    bot.SetPathSteps(3);
    bot.path_xy[0] = Point2i{0, 0};
    bot.path_xy[1] = Point2i{7, 5};
    bot.path_xy[2] = Point2i{0, 0};  // later points cover earlier ones
    bot.path_rgb[0] = RGB_888{10, 20, 30};
    bot.path_rgb[1] = RGB_888{40, 50, 60};
    bot.path_rgb[2] = RGB_888{70, 80, 90};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0.5f, 0.5f, 0.0f);
    bot.DrawPath();
    glPopMatrix();
    const std::vector<uint8_t> px = surface.ReadRGB();
    EXPECT_EQ(px[0], 70);
    EXPECT_EQ(px[2], 90);
    const size_t corner = (5 * 8 + 7) * 3;
    EXPECT_EQ(px[corner], 40);
    EXPECT_EQ(px[corner + 2], 60);
    int lit = 0;
    for (size_t i = 0; i < px.size(); i += 3) lit += px[i] != 0;
    EXPECT_EQ(lit, 2);
}

TEST(Display, MarkerIsDrawnInTheBotsColour) {
    TestGLSurface surface;
    ASSERT_TRUE(surface.Create(16, 16));
    surface.Clear(0, 0, 0);
    Bot bot;
    bot.color = HSL_888{0, 255, 128};  // red: RGB (255, 1, 1)
    bot.dir = 3;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(8.0f, 8.0f, 0.0f);
    bot.Draw();
    glPopMatrix();
    const std::vector<uint8_t> px = surface.ReadRGB();
    int lit = 0;
    for (size_t i = 0; i < px.size(); i += 3) {
        if (px[i] == 0 && px[i + 1] == 0 && px[i + 2] == 0) continue;
        ++lit;
        EXPECT_EQ(px[i], 255);
        EXPECT_EQ(px[i + 1], 1);
        EXPECT_EQ(px[i + 2], 1);
    }
    EXPECT_GT(lit, 8);
    // The heading tick runs right from the bot's cell: pixel (10, 8) is on it.
    EXPECT_EQ(px[(8 * 16 + 10) * 3], 255);
}
