#include "tests/support/gl_surface.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {

// Points drawn as the world draws them (integer vertices, byte colours, client arrays,
// half-pixel offset) hit exactly their pixels, corners included; later ones cover earlier.
TEST(TestGLSurface, PointsLandOnTheirPixelsWithTheirColours) {
    for (const auto& [w, h] : {std::array{97, 61}, {1, 1}, {64, 64}, {3, 200}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        TestGLSurface surface;
        ASSERT_TRUE(surface.Create(w, h));
        EXPECT_EQ(std::pair(surface.width, surface.height), std::pair(w, h));
        surface.Clear(10, 20, 30);
        const GLint xy[] = {0, 0, w - 1, h - 1, w - 1, 0, 0, h - 1, w / 2, h / 2, w / 2, h / 2};
        const GLubyte rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 200, 100, 50, 7, 8, 9};
        glTranslatef(0.5f, 0.5f, 0.f);  // on the identity modelview Create set
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_INT, 0, xy);
        glColorPointer(3, GL_UNSIGNED_BYTE, 0, rgb);
        glDrawArrays(GL_POINTS, 0, 6);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);

        std::vector<uint8_t> expected;  // the clear colour, or the last point drawn there
        for (int i = 0; i < w * h; ++i) expected.insert(expected.end(), {10, 20, 30});
        for (int p = 0; p < 6; ++p)
            std::copy_n(&rgb[p * 3], 3, &expected[(xy[p * 2 + 1] * w + xy[p * 2]) * 3]);
        const std::vector<uint8_t> got = surface.ReadRGB();
        ASSERT_EQ(got.size(), expected.size());
        const long at = std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
        EXPECT_EQ(at, static_cast<long>(got.size()))
            << "first wrong pixel (" << at / 3 % w << "," << at / 3 / w << ")";
    }
}

}  // namespace
