// Where a picture changed since it was last shown, kept as square tiles of
// pixels, and rectangles that cover exactly the changed tiles: a present of those
// rectangles costs the X server (and the wire to a remote one) only what changed.
#pragma once

#include <cstdint>
#include <memory>

// A rectangle of pixels, x to the right and y downwards from the top-left corner.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class DamageGrid {
  public:
    // Measured at 1920x1080 and 3840x2160 against 8 and 32: the same for the
    // program within noise, and the least work for the X server.
    static constexpr int kTile = 16;

    // A grid of tiles for a picture of width x height pixels, all of it changed;
    // their side is `tile` rounded up to a power of two, so that a pixel finds its
    // tile by shifts. False when the memory for it cannot be had; every change is
    // then the whole picture.
    bool Reset(int width, int height, int tile = kTile);
    void MarkAll() { all_ = true; }
    // Marks the tile of pixel (x, y), which must lie inside the picture.
    void Mark(int x, int y) {
        if (marks_) marks_[(y >> shift_) * cols_ + (x >> shift_)] = 1;
        any_ = true;
    }
    // Marks every tile the rectangle touches; what lies outside the picture is ignored.
    void MarkRect(const PixelRect& rect);
    bool Empty() const { return !all_ && !any_; }
    // Covers the changed tiles with rectangles (runs of changed tiles along a row
    // of tiles, merged with the same run on the rows below), clipped to the
    // picture, then forgets the changes. Returns their count; *rects stays valid
    // until the next call.
    int Take(const PixelRect** rects);

  private:
    int width_ = 0, height_ = 0, cols_ = 0, rows_ = 0, tile_ = kTile, shift_ = 4;
    std::unique_ptr<uint8_t[]> marks_;    // cols_ x rows_, top row first
    std::unique_ptr<PixelRect[]> rects_;  // room for every possible rectangle
    std::unique_ptr<int[]> open_, next_;  // rectangles reaching the row above, per run
    bool all_ = true, any_ = false;
};
