// Drawing the display copy and the bots' markers on a real OpenGL surface.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colour/hsl.h"
#include "tests/habitat/habitat_test_util.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"

namespace {

struct Pixel {
    uint8_t r, g, b;
    bool operator==(const Pixel&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ")";
}

Pixel At(const std::vector<uint8_t>& rgb, int width, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TEST(DrawHabitatTest, ReproducesTheDisplayCopyPixelForPixel) {
    struct Case {
        int surface_w, surface_h;
        uint32_t w, h;
    };
    // 97 and 5 give rows whose 3 x width is not a multiple of 4.
    const Case cases[] = {{97, 61, 97, 61}, {5, 3, 5, 3}, {4, 4, 4, 4}, {1, 1, 1, 1}, {9, 7, 5, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " on " << c.surface_w << " x "
                                        << c.surface_h);
        TestGLSurface s;
        ASSERT_TRUE(s.Create(c.surface_w, c.surface_h));
        s.Clear(10, 20, 30);
        Biotope world;
        CaptureVoid([&] { ASSERT_TRUE(world.CreateHabitat(c.w, c.h)); });
        FillPattern(world.rgb_habitat, c.w);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 8);

        const auto out = CaptureVoid([&] { world.DrawHabitat(); });

        EXPECT_EQ(out.out + out.err, "");
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 8);  // restored
        const std::vector<uint8_t> got = s.ReadRGB();
        const std::string cells = Cells(world.rgb_habitat);
        for (int y = 0; y < c.surface_h; ++y) {
            for (int x = 0; x < c.surface_w; ++x) {
                Pixel want{10, 20, 30};
                if (x < static_cast<int>(c.w) && y < static_cast<int>(c.h)) {
                    const size_t i = (static_cast<size_t>(y) * c.w + x) * 3;
                    want = {static_cast<uint8_t>(cells[i]), static_cast<uint8_t>(cells[i + 1]),
                            static_cast<uint8_t>(cells[i + 2])};
                }
                ASSERT_EQ(At(got, c.surface_w, x, y), want) << "pixel " << x << ", " << y;
            }
        }
    }
}

TEST(DrawHabitatTest, DrawsNothingWithoutAHabitat) {
    TestGLSurface s;
    ASSERT_TRUE(s.Create(4, 4));
    s.Clear(10, 20, 30);
    Biotope world;

    const auto out = CaptureVoid([&] { world.DrawHabitat(); });

    EXPECT_EQ(out.err, "Biotope::DrawHabitat() failure: no habitat\n");
    const std::vector<uint8_t> got = s.ReadRGB();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(At(got, 4, i % 4, i / 4), (Pixel{10, 20, 30}));
}

// Marker pixels of one bot relative to its cell. GL lines on integer
// coordinates run along pixel edges, where the rasterisation rules allow
// either neighbouring row (or column): only the heading tick, which runs
// through pixel centres, and the pixels near the middle of each side are
// checked, each side on both of its candidate rows or columns.
struct Marker {
    int x, y, dir;
    HSL_888 colour;
};

TEST(DrawInfoTest, DrawsEachBotsMarkerInItsColourAtItsCell) {
    const int kSize = 40;
    TestGLSurface s;
    ASSERT_TRUE(s.Create(kSize, kSize));
    const Pixel background{0, 0, 0};
    s.Clear(0, 0, 0);
    const Marker markers[] = {
        {10, 10, 3, {0, 255, 128}},   // heading (1, 0): tick from (13.5, 10.5)
        {28, 25, 5, {84, 255, 128}},  // heading (0, 1): tick from (28.5, 28.5)
        {12, 30, 0, {168, 200, 100}}, // heading (-1, -1)
    };
    Biotope world;
    CaptureVoid([&] { ASSERT_TRUE(world.Create(3, kSize, kSize, 1)); });
    std::vector<Pixel> colours;
    for (int i = 0; i < 3; ++i) {
        Bot& b = world.bots[i];
        b.x = markers[i].x;
        b.y = markers[i].y;
        b.dir = markers[i].dir;
        b.color = markers[i].colour;
        RGB_888 rgb;
        HSLtoRGB(&b.color, &rgb);
        colours.push_back({rgb.r, rgb.g, rgb.b});
    }
    EXPECT_EQ(colours[0], (Pixel{255, 1, 1}));

    world.DrawInfo();

    const std::vector<uint8_t> got = s.ReadRGB();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "bot " << i);
        const Marker& m = markers[i];
        const Pixel c = colours[i];
        auto px = [&](int dx, int dy) { return At(got, kSize, m.x + dx, m.y + dy); };
        auto either = [&](int dx0, int dy0, int dx1, int dy1) {
            return px(dx0, dy0) == c || px(dx1, dy1) == c;
        };
        // Sides: bottom (-1,-2)-(2,-2), right (2,-1)-(2,2), top (1,2)-(-2,2),
        // left (-2,1)-(-2,-2); each side's middle pixels on either side of the edge.
        EXPECT_TRUE(either(0, -2, 0, -3) && either(1, -2, 1, -3)) << "bottom";
        EXPECT_TRUE(either(2, -1, 1, -1) && either(2, 0, 1, 0)) << "right";
        EXPECT_TRUE(either(-1, 2, -1, 1) && either(0, 2, 0, 1)) << "top";
        EXPECT_TRUE(either(-2, -1, -3, -1) && either(-2, 0, -3, 0)) << "left";
        // Tick: the pixels strictly between its two end cells.
        const Point2i d = Bot::dir_d[m.dir];
        EXPECT_EQ(px(d.x, d.y), c) << "tick";
        EXPECT_EQ(px(2 * d.x, 2 * d.y), c) << "tick";
        // Nothing of this marker lies outside its 7 x 7 neighbourhood.
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const Pixel p = At(got, kSize, x, y);
                if (p == c) {
                    EXPECT_TRUE(x >= m.x - 3 && x <= m.x + 3 && y >= m.y - 3 && y <= m.y + 3)
                        << "stray pixel " << x << ", " << y;
                }
            }
        }
    }
    // Every lit pixel belongs to one of the markers.
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Pixel p = At(got, kSize, x, y);
            if (p == background) continue;
            EXPECT_TRUE(p == colours[0] || p == colours[1] || p == colours[2])
                << "pixel " << x << ", " << y << " is " << p;
        }
    }
    // The modelview matrix is back to the identity.
    GLfloat mv[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(mv[i], (i % 5 == 0) ? 1.0f : 0.0f);
}

}  // namespace
