#include "host/wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void OnRelease(void* data, wl_buffer*) {
    static_cast<ShmBuffer*>(data)->busy = false;
}
const wl_buffer_listener kBufferListener = {OnRelease};

}  // namespace

bool ShmBuffer::Create(wl_shm* shm, int width, int height, std::FILE* diag) {
    Destroy();
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    // A pool's size is a signed 32-bit number.
    if (width < 1 || height < 1 || bytes > 0x7fffffffu) {
        std::fprintf(diag, "lumivor: a %dx%d picture is too large for a Wayland buffer\n", width,
                     height);
        return false;
    }
    const int fd = memfd_create("lumivor", MFD_CLOEXEC);
    void* pixels = MAP_FAILED;
    if (fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0)
        pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED || !stale.Reset(width, height)) {
        std::fprintf(diag, "lumivor: cannot make a %dx%d buffer: %s\n", width, height,
                     std::strerror(errno != 0 ? errno : ENOMEM));
        if (pixels != MAP_FAILED) munmap(pixels, bytes);
        if (fd >= 0) close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory
    close(fd);
    wl_buffer_add_listener(buffer_, &kBufferListener, this);
    pixels_ = static_cast<uint32_t*>(pixels);
    bytes_ = bytes;
    width_ = width;
    height_ = height;
    busy = false;
    filled = 0;
    return true;
}

void ShmBuffer::Destroy() {
    // The compositor keeps its own mapping of a buffer it still shows.
    if (buffer_) wl_buffer_destroy(buffer_);
    if (pixels_) munmap(pixels_, bytes_);
    buffer_ = nullptr;
    pixels_ = nullptr;
    width_ = height_ = 0;
}

void ShmBuffer::CopyStale(const uint32_t* picture, int picture_w, int picture_h, int top) {
    const PixelRect* rects = nullptr;
    const int count = stale.Take(&rects);
    for (int i = 0; i < count; ++i) {
        const PixelRect& r = rects[i];
        const int width = r.x + r.width <= picture_w ? r.width : picture_w - r.x;
        for (int y = r.y; y < r.y + r.height && width > 0; ++y) {
            if (y + top < 0 || y + top >= picture_h) continue;
            std::memcpy(pixels_ + static_cast<size_t>(y) * width_ + r.x,
                        picture + static_cast<size_t>(y + top) * picture_w + r.x,
                        static_cast<size_t>(width) * 4);
        }
    }
}
