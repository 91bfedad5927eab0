// A picture the compositor reads: XRGB8888 pixels in shared memory (wl_shm).
// While the compositor holds a buffer (attached, not yet released) it is never
// written, so the buffer about to be committed is a present or two behind the
// saver's picture. It catches up either by copying the 16x16 tiles changed
// since it was last filled or by repainting the pixels painted meanwhile,
// noted in a PaintLog, whichever costs less: where the bots roam (communities
// 0 and 7, a quarter of the picture's tiles changed in two presents) the
// pixels cost a third to a half less than the tiles; where they keep to a few
// places the tiles are cheaper.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "host/shared/damage_grid.h"

// One pixel painted into the picture (x, y from its top-left corner).
struct PaintedPixel {
    uint16_t x = 0, y = 0;
    uint32_t pixel = 0;
};

// The last pixels painted into the picture, in order, in a ring: each has a
// position, counted from the start of the run, and the ring holds the latest
// `capacity` while `keep` is set (the buffers set it while repainting is their
// cheaper way; otherwise only the count goes on). A buffer that fell further
// behind, or a picture cleared since, copies its tiles.
class PaintLog {
  public:
    bool keep = true;

    // Room for `capacity` pixels (rounded up to a power of two), none held.
    // False when the memory cannot be had.
    bool Reset(size_t capacity);
    // Forgets every pixel: the whole picture changed.
    void Restart() { first_ = end_ = end_ + 1; }
    void Add(int x, int y, uint32_t pixel) {
        if (!keep) {
            first_ = ++end_;
            return;
        }
        ring_[end_++ & mask_] =
            PaintedPixel{static_cast<uint16_t>(x), static_cast<uint16_t>(y), pixel};
        if (end_ - first_ > mask_ + 1) first_ = end_ - mask_ - 1;
    }
    // The position after the last pixel painted: a buffer filled now is up to it.
    unsigned long long End() const { return end_; }
    // True when every pixel painted since `position` is still held.
    bool Holds(unsigned long long position) const { return position >= first_; }
    const PaintedPixel& At(unsigned long long position) const { return ring_[position & mask_]; }

  private:
    std::unique_ptr<PaintedPixel[]> ring_;
    unsigned long long mask_ = 0, first_ = 1, end_ = 1;
};

class ShmBuffer {
  public:
    ShmBuffer() = default;
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;
    ~ShmBuffer() { Destroy(); }

    // A buffer of width x height pixels, to be filled whole. False, with a
    // line on diag, when the memory cannot be had.
    bool Create(wl_shm* shm, int width, int height, std::FILE* diag);
    void Destroy();

    // Marks a rectangle of the buffer as changed in the picture.
    void MarkStale(const PixelRect& rect);
    // Brings the buffer up to `picture` (picture_w x picture_h pixels, a row
    // of picture_w), whose row `top` is the buffer's row 0: by the pixels `log`
    // noted since the buffer was last filled, or by the tiles marked stale
    // where those cost less or the log does not hold them; and has the log kept
    // while repainting is the cheaper way. Parts beyond the picture are left
    // as they are.
    void CatchUp(const uint32_t* picture, int picture_w, int picture_h, int top, PaintLog& log);

    wl_buffer* buffer() const { return buffer_; }
    int width() const { return width_; }
    int height() const { return height_; }

    bool busy = false;         // attached by a commit and not yet released
    unsigned long filled = 0;  // the number of the commit that last showed it

  private:
    wl_buffer* buffer_ = nullptr;
    uint32_t* pixels_ = nullptr;
    size_t bytes_ = 0;
    int width_ = 0, height_ = 0;
    // Copying a tile's pixel costs about a sixth of repainting a pixel from the
    // log (measured at 1920x1080 with both done on the same presents).
    static constexpr unsigned long long kRepaintCost = 6;

    DamageGrid stale_;                   // changed in the picture since the buffer was filled
    unsigned long long stale_area_ = 0;  // the pixels of the rectangles marked stale
    unsigned long long caught_up_ = 0;   // the log's position the buffer is up to; 0: none
};
