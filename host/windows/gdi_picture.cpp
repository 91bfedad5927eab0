#include "host/windows/gdi_picture.h"

bool GdiPicture::Open(int width, int height) {
    Release();
    if (width < 1 || height < 1) return true;  // nothing to show
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: the top row first, as the painter writes
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;  // bytes B, G, R, unused: XRGB8888 read as a number
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    memory_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        memory_ ? CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap_ == nullptr || bits == nullptr ||
        !trails_.Attach(bits, width, height, width * 4, PixelFormat{})) {
        std::fprintf(diag_, "lumivor: cannot hold a %dx%d picture in memory\n", width, height);
        Release();
        return false;
    }
    old_bitmap_ = SelectObject(memory_, bitmap_);
    width_ = width;
    height_ = height;
    trails_.Clear(RGB_888{0, 0, 0});
    return true;
}

void GdiPicture::Release() {
    if (memory_ && old_bitmap_) SelectObject(memory_, old_bitmap_);
    if (bitmap_) DeleteObject(bitmap_);
    if (memory_) DeleteDC(memory_);
    memory_ = nullptr;
    bitmap_ = nullptr;
    old_bitmap_ = nullptr;
    width_ = height_ = 0;
    trails_.Detach();
}

long GdiPicture::Present(HDC window) {
    const PixelRect* rects = nullptr;
    const int count = trails_.damage.Take(&rects);
    long pixels = 0;
    for (int i = 0; i < count && memory_; ++i) {
        const PixelRect& r = rects[i];
        BitBlt(window, r.x, r.y, r.width, r.height, memory_, r.x, r.y, SRCCOPY);
        pixels += static_cast<long>(r.width) * r.height;
    }
    // GDI may batch the copies: they must have read the pixels before the
    // next tick paints over them.
    GdiFlush();
    return pixels;
}

void GdiPicture::Paint(HDC window, const RECT& area) {
    if (memory_ == nullptr) return;
    BitBlt(window, area.left, area.top, area.right - area.left, area.bottom - area.top, memory_,
           area.left, area.top, SRCCOPY);
    GdiFlush();
}
