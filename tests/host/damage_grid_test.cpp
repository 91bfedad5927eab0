// The rectangles a present sends must cover every changed pixel, nothing twice,
// and nothing beyond the changed tiles.

#include "host/shared/damage_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kTile = DamageGrid::kTile;

// How often each pixel of a w x h picture is covered by the rectangles.
std::vector<int> Coverage(const PixelRect* rects, int count, int w, int h) {
    std::vector<int> covered(static_cast<size_t>(w) * h, 0);
    for (int i = 0; i < count; ++i) {
        const PixelRect& r = rects[i];
        EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0 && r.x + r.width <= w &&
                    r.y + r.height <= h)
            << r.x << "," << r.y << " " << r.width << "x" << r.height;
        for (int y = r.y; y < r.y + r.height && y < h; ++y)
            for (int x = r.x; x < r.x + r.width && x < w; ++x) ++covered[y * w + x];
    }
    return covered;
}

// Random scattered points, random walks and rectangles on sizes that are and are not whole
// tiles: each pixel is covered once exactly when its tile holds a marked pixel.
TEST(DamageGrid, CoversExactlyTheChangedTilesOnce) {
    std::mt19937 random(7);
    const std::pair<int, int> sizes[] = {{64, 48}, {101, 37}, {1, 1}, {17, 300}, {333, 1}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        DamageGrid grid;
        ASSERT_TRUE(grid.Reset(w, h));
        const PixelRect* rects = nullptr;
        ASSERT_EQ(grid.Take(&rects), 1);  // a new grid is all changed
        EXPECT_EQ(rects[0].width, w);
        EXPECT_EQ(rects[0].height, h);
        for (int round = 0; round < 20; ++round) {
            std::vector<bool> tile_changed(static_cast<size_t>((w + kTile - 1) / kTile) *
                                           ((h + kTile - 1) / kTile));
            const int cols = (w + kTile - 1) / kTile;
            int x = static_cast<int>(random() % w), y = static_cast<int>(random() % h);
            const int points = static_cast<int>(random() % 60);
            for (int i = 0; i < points; ++i) {
                if (round % 4 == 3) {  // rectangles, some reaching beyond the picture
                    const PixelRect r{static_cast<int>(random() % (w + 20)) - 10,
                                      static_cast<int>(random() % (h + 20)) - 10,
                                      static_cast<int>(random() % 40),
                                      static_cast<int>(random() % 40)};
                    grid.MarkRect(r);
                    for (int ry = std::max(r.y, 0); ry < std::min(r.y + r.height, h); ++ry)
                        for (int rx = std::max(r.x, 0); rx < std::min(r.x + r.width, w); ++rx)
                            tile_changed[(ry / kTile) * cols + rx / kTile] = true;
                    continue;
                }
                if (round % 2) {  // a walk, as bots take
                    x = (x + static_cast<int>(random() % 3) - 1 + w) % w;
                    y = (y + static_cast<int>(random() % 3) - 1 + h) % h;
                } else {
                    x = static_cast<int>(random() % w), y = static_cast<int>(random() % h);
                }
                grid.Mark(x, y);
                tile_changed[(y / kTile) * cols + x / kTile] = true;
            }
            const int count = grid.Take(&rects);
            const std::vector<int> covered = Coverage(rects, count, w, h);
            for (int py = 0; py < h; ++py)
                for (int px = 0; px < w; ++px)
                    ASSERT_EQ(covered[py * w + px], tile_changed[(py / kTile) * cols + px / kTile])
                        << "pixel " << px << "," << py << " round " << round;
            EXPECT_EQ(grid.Take(&rects), 0) << "the changes are forgotten once taken";
        }
    }
}

// Exposed: the whole picture, once, however little was marked.
TEST(DamageGrid, MarkAllSendsTheWholePicture) {
    DamageGrid grid;
    ASSERT_TRUE(grid.Reset(50, 20));
    const PixelRect* rects = nullptr;
    grid.Take(&rects);
    EXPECT_TRUE(grid.Empty());
    grid.Mark(3, 3);
    grid.MarkAll();
    ASSERT_EQ(grid.Take(&rects), 1);
    EXPECT_EQ(rects[0].x, 0);
    EXPECT_EQ(rects[0].y, 0);
    EXPECT_EQ(rects[0].width, 50);
    EXPECT_EQ(rects[0].height, 20);
    EXPECT_TRUE(grid.Empty());
    EXPECT_EQ(grid.Take(&rects), 0);
}

}  // namespace
