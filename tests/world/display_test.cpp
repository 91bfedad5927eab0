// What the screen shows: trails drawn as points onto a surface cleared to the
// clear colour add up to exactly the display habitat, cell for cell.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/community.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/community.h"

namespace {

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
        InstallCommunity(n, w, h, 1765000000 + n);
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
