// Where the picture changed since it was last shown, kept as tiles of
// kTile x kTile pixels, and a few rectangles that cover every changed tile.
// A present of those rectangles costs the X server (and the wire to a remote
// one) only what changed instead of the whole surface.
#pragma once

#include <cstdint>
#include <memory>

#include "bots/bot.h"

// A rectangle of pixels, origin at the bottom left as OpenGL counts.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class DamageGrid {
  public:
    static constexpr int kTile = 16;
    // Each rectangle costs a request and a round trip to the X server, so the
    // changed tiles are covered with few of them, at the price of some pixels
    // that did not change.
    static constexpr int kMaxRects = 16;

    // A grid for a surface of width x height pixels, all of it changed. Without
    // memory for the grid (or for an empty surface) every change is the whole surface.
    void Reset(int width, int height);
    void MarkAll() { all_ = true; }
    // Marks the tiles of these points; points off the surface are ignored.
    void MarkPoints(const Point2i* points, unsigned long count);
    bool Empty() const { return !all_ && !any_; }
    // True when everything changed: a whole present is due.
    bool All() const { return all_ || !marks_; }
    // Writes at most kMaxRects rectangles that cover every changed pixel, inside the
    // surface, and returns their count; then forgets the changes.
    int Take(PixelRect* rects);

  private:
    struct Box {
        int c0 = 0, r0 = 0, c1 = 0, r1 = 0;  // tile columns and rows, half-open
        long marked = 0;                     // changed tiles inside
        bool dense = false;                  // not worth splitting
        long Area() const { return static_cast<long>(c1 - c0) * (r1 - r0); }
    };
    bool Shrink(Box* box) const;
    bool Split(const Box& box, Box* first, Box* second) const;
    void Clear();

    int width_ = 0, height_ = 0, cols_ = 0, rows_ = 0;
    std::unique_ptr<uint8_t[]> marks_;  // cols_ x rows_, row 0 at the bottom
    std::unique_ptr<int[]> counts_;     // per column, then per row: Split's scratch
    bool all_ = true, any_ = false;
};
