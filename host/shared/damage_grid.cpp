#include "host/shared/damage_grid.h"

#include <cstring>
#include <new>
#include <utility>

bool DamageGrid::Reset(int width, int height, int tile) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    int shift = 0;
    while (shift < 15 && 1 << shift < (tile > 0 ? tile : kTile)) ++shift;
    const bool new_tile = shift != shift_;
    shift_ = shift;
    tile_ = 1 << shift;
    const int cols = (width_ + tile_ - 1) / tile_, rows = (height_ + tile_ - 1) / tile_;
    if (cols != cols_ || rows != rows_ || new_tile || !marks_) {
        cols_ = cols;
        rows_ = rows;
        const size_t tiles = static_cast<size_t>(cols) * static_cast<size_t>(rows);
        // A row of tiles holds at most (cols + 1) / 2 runs.
        const size_t most_rects = static_cast<size_t>(cols + 1) / 2 * static_cast<size_t>(rows);
        marks_.reset(new (std::nothrow) uint8_t[tiles > 0 ? tiles : 1]());
        rects_.reset(new (std::nothrow) PixelRect[most_rects > 0 ? most_rects : 1]);
        open_.reset(new (std::nothrow) int[cols > 0 ? cols : 1]);
        next_.reset(new (std::nothrow) int[cols > 0 ? cols : 1]);
        if (!marks_ || !rects_ || !open_ || !next_) {
            marks_.reset();
            if (!rects_) rects_.reset(new (std::nothrow) PixelRect[1]);
            if (!rects_) return false;  // not even the whole picture can be named
        }
    } else {
        std::memset(marks_.get(), 0, static_cast<size_t>(cols_) * rows_);
    }
    all_ = true;
    any_ = false;
    return marks_ != nullptr;
}

void DamageGrid::MarkRect(const PixelRect& rect) {
    const int x0 = rect.x > 0 ? rect.x : 0, y0 = rect.y > 0 ? rect.y : 0;
    const int x1 = rect.x + rect.width < width_ ? rect.x + rect.width : width_;
    const int y1 = rect.y + rect.height < height_ ? rect.y + rect.height : height_;
    if (x0 >= x1 || y0 >= y1) return;
    any_ = true;
    if (!marks_) return;
    for (int r = y0 / tile_; r <= (y1 - 1) / tile_; ++r)
        std::memset(marks_.get() + static_cast<size_t>(r) * cols_ + x0 / tile_, 1,
                    static_cast<size_t>((x1 - 1) / tile_ - x0 / tile_ + 1));
}

int DamageGrid::Take(const PixelRect** rects) {
    *rects = rects_.get();
    if (Empty() || !rects_) return 0;
    if (all_ || !marks_) {
        if (marks_) std::memset(marks_.get(), 0, static_cast<size_t>(cols_) * rows_);
        all_ = any_ = false;
        rects_[0] = PixelRect{0, 0, width_, height_};
        return width_ > 0 && height_ > 0 ? 1 : 0;
    }
    int count = 0, open_count = 0;
    for (int r = 0; r < rows_; ++r) {
        uint8_t* row = marks_.get() + static_cast<size_t>(r) * cols_;
        const int y = r * tile_, bottom = y + tile_ < height_ ? y + tile_ : height_;
        int next_count = 0, j = 0;
        for (int c = 0; c < cols_;) {
            if (!row[c]) {
                ++c;
                continue;
            }
            const int first = c;
            while (c < cols_ && row[c]) row[c++] = 0;
            const int x = first * tile_, right = c * tile_ < width_ ? c * tile_ : width_;
            // The same run on the row above, if there was one, grows downwards.
            while (j < open_count && rects_[open_[j]].x < x) ++j;
            if (j < open_count && rects_[open_[j]].x == x && rects_[open_[j]].width == right - x) {
                rects_[open_[j]].height = bottom - rects_[open_[j]].y;
                next_[next_count++] = open_[j++];
            } else {
                rects_[count] = PixelRect{x, y, right - x, bottom - y};
                next_[next_count++] = count++;
            }
        }
        std::swap(open_, next_);
        open_count = next_count;
    }
    any_ = false;
    return count;
}
