// A picture the compositor reads: XRGB8888 pixels in shared memory (wl_shm).
// While the compositor holds a buffer (attached, not yet released) it is never
// written, so the buffer about to be committed is a present or two behind the
// saver's picture. It catches up by repainting the pixels painted since it was
// last filled, noted in a PaintLog: that is a tenth of the memory traffic of
// copying every 16x16 tile those pixels touched (measured at 1920x1080, where
// the tiles changed by two presents are a quarter of the picture).
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <memory>

// One pixel painted into the picture (x, y from its top-left corner).
struct PaintedPixel {
    uint16_t x = 0, y = 0;
    uint32_t pixel = 0;
};

// The last pixels painted into the picture, in order, in a ring: each has a
// position, counted from the start of the run, and the ring holds the latest
// `capacity`. A buffer that fell further behind (or a picture cleared since)
// is filled whole.
class PaintLog {
  public:
    // Room for `capacity` pixels (rounded up to a power of two), none held.
    // False when the memory cannot be had.
    bool Reset(size_t capacity);
    // Forgets every pixel: the whole picture changed.
    void Restart() { first_ = end_ = end_ + 1; }
    void Add(int x, int y, uint32_t pixel) {
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

    // Brings the buffer up to `picture` (picture_w x picture_h pixels, a row
    // of picture_w), whose row `top` is the buffer's row 0: the pixels `log`
    // noted since the buffer was last filled, or, where the log no longer holds
    // them, the whole picture. Parts beyond the picture are left as they are.
    void CatchUp(const uint32_t* picture, int picture_w, int picture_h, int top,
                 const PaintLog& log);

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
    unsigned long long caught_up_ = 0;  // the log's position the buffer is up to; 0: none
};
