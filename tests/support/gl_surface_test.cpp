#include "tests/support/gl_surface.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

struct Point {
    int x, y;
    std::array<uint8_t, 3> rgb;
};

std::array<uint8_t, 3> PixelAt(const std::vector<uint8_t>& rgb, int w, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

// Draws points the way the world does: integer vertices, byte colours, client arrays,
// half-pixel offset so each vertex hits the centre of its pixel.
void DrawPoints(const std::vector<Point>& points) {
    std::vector<GLint> xy;
    std::vector<GLubyte> colours;
    for (const Point& p : points) {
        xy.push_back(p.x);
        xy.push_back(p.y);
        colours.insert(colours.end(), p.rgb.begin(), p.rgb.end());
    }
    glPushMatrix();
    glTranslatef(0.5f, 0.5f, 0.f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_INT, 0, xy.data());
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, colours.data());
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(points.size()));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

TEST(TestGLSurface, PointsLandOnTheirPixelsWithTheirColours) {
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{97, 61}, Case{1, 1}, Case{64, 64}, Case{3, 200}}) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        TestGLSurface surface;
        ASSERT_TRUE(surface.Create(c.w, c.h));
        EXPECT_EQ(surface.width, c.w);
        EXPECT_EQ(surface.height, c.h);
        surface.Clear(10, 20, 30);

        const int mx = c.w / 2, my = c.h / 2;
        const std::vector<Point> points = {
            {0, 0, {255, 0, 0}},       {c.w - 1, c.h - 1, {0, 255, 0}},
            {c.w - 1, 0, {0, 0, 255}}, {0, c.h - 1, {1, 2, 3}},
            {mx, my, {200, 100, 50}},  {mx, my, {7, 8, 9}},  // later points cover earlier ones
        };
        DrawPoints(points);
        const std::vector<uint8_t> rgb = surface.ReadRGB();
        ASSERT_EQ(rgb.size(), static_cast<size_t>(c.w * c.h * 3));

        // What each pixel should hold: the clear colour, or the last point drawn on it.
        std::vector<std::array<uint8_t, 3>> expected(static_cast<size_t>(c.w * c.h), {10, 20, 30});
        for (const Point& p : points) expected[static_cast<size_t>(p.y * c.w + p.x)] = p.rgb;
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (PixelAt(rgb, c.w, x, y) != expected[static_cast<size_t>(y * c.w + x)] &&
                    ++wrong <= 5)
                    ADD_FAILURE() << "pixel (" << x << "," << y << ") is wrong";
        EXPECT_EQ(wrong, 0);
    }
}

TEST(TestGLSurface, RejectsEmptySizes) {
    TestGLSurface surface;
    EXPECT_FALSE(surface.Create(0, 10));
    EXPECT_FALSE(surface.Create(10, -1));
    EXPECT_TRUE(surface.ReadRGB().empty());
}

}  // namespace
