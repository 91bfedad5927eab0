// A picture the compositor reads: XRGB8888 pixels in shared memory (wl_shm).
// While the compositor holds a buffer (attached, not yet released) it is never
// written. Each buffer keeps the tiles of the saver's picture that changed since
// it was last filled, so that only those are copied into it before it is shown.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>

#include "host/shared/damage_grid.h"

class ShmBuffer {
  public:
    ShmBuffer() = default;
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;
    ~ShmBuffer() { Destroy(); }

    // A buffer of width x height pixels, all of it stale. False, with a line on
    // diag, when the memory cannot be had.
    bool Create(wl_shm* shm, int width, int height, std::FILE* diag);
    void Destroy();

    // Copies the stale tiles from `picture` (picture_w x picture_h pixels, a row
    // of picture_w) into the buffer; the buffer's row 0 is the picture's row `top`.
    // Parts beyond the picture are left as they are.
    void CopyStale(const uint32_t* picture, int picture_w, int picture_h, int top);

    wl_buffer* buffer() const { return buffer_; }
    int width() const { return width_; }
    int height() const { return height_; }

    DamageGrid stale;          // changed in the picture since this buffer was filled
    bool busy = false;         // attached by a commit and not yet released
    unsigned long filled = 0;  // the number of the commit that last showed it

  private:
    wl_buffer* buffer_ = nullptr;
    uint32_t* pixels_ = nullptr;
    size_t bytes_ = 0;
    int width_ = 0, height_ = 0;
};
