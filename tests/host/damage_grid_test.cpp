// The rectangles a present sends must cover every changed pixel, nothing twice,
// and nothing beyond the changed tiles. (A whole picture sent after an expose is the
// window host's test.)

#include "host/shared/damage_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kTile = DamageGrid::kTile;

// Random scattered points, random walks and rectangles (some reaching beyond the picture) on
// sizes that are and are not whole tiles: each pixel is covered once exactly when its tile holds
// a marked pixel, and a new grid is all changed.
TEST(DamageGrid, CoversExactlyTheChangedTilesOnce) {
    std::mt19937 random(7);
    const auto below = [&random](int n) { return static_cast<int>(random() % n); };
    for (const auto& [w, h] : {std::pair{64, 48}, {101, 37}, {1, 1}, {17, 300}, {333, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const int cols = (w + kTile - 1) / kTile;
        std::vector<int> changed(static_cast<size_t>(cols) * ((h + kTile - 1) / kTile), 1);
        const auto mark = [&](int x, int y) { changed[(y / kTile) * cols + x / kTile] = 1; };
        DamageGrid grid;
        ASSERT_TRUE(grid.Reset(w, h));
        int x = below(w), y = below(h);
        for (int round = 0; round < 20; ++round) {
            const PixelRect* rects = nullptr;
            const int count = grid.Take(&rects);
            std::vector<int> covered(static_cast<size_t>(w) * h, 0);
            for (const PixelRect& r : std::vector<PixelRect>(rects, rects + count)) {
                ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0 &&
                            r.x + r.width <= w && r.y + r.height <= h)
                    << r.x << "," << r.y << " " << r.width << "x" << r.height;
                for (int py = r.y; py < r.y + r.height; ++py)
                    for (int px = r.x; px < r.x + r.width; ++px) ++covered[py * w + px];
            }
            for (int py = 0; py < h; ++py)
                for (int px = 0; px < w; ++px)
                    ASSERT_EQ(covered[py * w + px], changed[(py / kTile) * cols + px / kTile])
                        << "pixel " << px << "," << py << " round " << round;
            EXPECT_EQ(grid.Take(&rects), 0) << "the changes are forgotten once taken";
            std::fill(changed.begin(), changed.end(), 0);
            for (int i = below(60); i > 0; --i) {
                if (round % 4 == 3) {
                    const PixelRect r{below(w + 20) - 10, below(h + 20) - 10, below(40), below(40)};
                    grid.MarkRect(r);
                    for (int ry = std::max(r.y, 0); ry < std::min(r.y + r.height, h); ++ry)
                        for (int rx = std::max(r.x, 0); rx < std::min(r.x + r.width, w); ++rx)
                            mark(rx, ry);
                    continue;
                }
                x = round % 2 ? (x + below(3) - 1 + w) % w : below(w);  // a walk, as bots take
                y = round % 2 ? (y + below(3) - 1 + h) % h : below(h);
                grid.Mark(x, y);
                mark(x, y);
            }
        }
    }
}

}  // namespace
