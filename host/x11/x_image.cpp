#include "host/x11/x_image.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

#include "host/x11/x_window.h"

namespace {

bool shm_attach_failed = false;

int OnShmAttachError(Display*, XErrorEvent*) {
    shm_attach_failed = true;
    return 0;
}

// The shift of an 8-bit colour mask; -1 when the mask is not 8 contiguous bits.
int ShiftOf(unsigned long mask) {
    if (mask == 0) return -1;
    int shift = 0;
    while (!(mask & 1)) mask >>= 1, ++shift;
    return mask == 0xff && shift <= 24 ? shift : -1;
}

bool LittleEndian() {
    const uint16_t one = 1;
    uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

}  // namespace

bool XImagePicture::Suits(Display* display, const XVisualInfo& visual) {
    if (visual.c_class != TrueColor || (visual.depth != 24 && visual.depth != 32)) return false;
    if (ShiftOf(visual.red_mask) < 0 || ShiftOf(visual.green_mask) < 0 ||
        ShiftOf(visual.blue_mask) < 0)
        return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    bool four_bytes = false;
    for (int i = 0; formats && i < count; ++i)
        if (formats[i].depth == visual.depth) four_bytes = formats[i].bits_per_pixel == 32;
    if (formats) XFree(formats);
    return four_bytes;
}

bool XImagePicture::Open(Window window, const XVisualInfo& visual, int width, int height) {
    window_ = window;
    visual_ = visual.visual;
    depth_ = visual.depth;
    format_.red_shift = ShiftOf(visual.red_mask);
    format_.green_shift = ShiftOf(visual.green_mask);
    format_.blue_shift = ShiftOf(visual.blue_mask);
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    return Allocate(width, height);
}

bool XImagePicture::Resize(int width, int height) {
    return Allocate(width, height);
}

// Shared memory saves copying every image through the connection; a server on
// another machine refuses it, and the picture then goes through the connection.
bool XImagePicture::AttachShared(int width, int height) {
    if (!XShmQueryExtension(display_)) return false;
    image_ = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                             &shm_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image_) return false;
    const size_t bytes = static_cast<size_t>(image_->bytes_per_line) * height;
    shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    void* at = shm_.shmid >= 0 ? shmat(shm_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
    if (at == reinterpret_cast<void*>(-1)) {
        if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
        XDestroyImage(image_);
        image_ = nullptr;
        return false;
    }
    shm_.shmaddr = image_->data = static_cast<char*>(at);
    shm_.readOnly = False;
    XSync(display_, False);
    shm_attach_failed = false;
    XErrorHandler previous = XSetErrorHandler(OnShmAttachError);
    const bool attached = XShmAttach(display_, &shm_) && (XSync(display_, False), true);
    XSetErrorHandler(previous);
    // Marked for removal now, the segment goes when both sides have let go of it.
    shmctl(shm_.shmid, IPC_RMID, nullptr);
    if (!attached || shm_attach_failed) {
        shmdt(shm_.shmaddr);
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
        return false;
    }
    shared_ = true;
    return true;
}

bool XImagePicture::Allocate(int width, int height) {
    Release();
    if (width < 1 || height < 1) return true;  // nothing to show
    if (!AttachShared(width, height)) {
        const int line = width * 4;
        char* data = static_cast<char*>(std::malloc(static_cast<size_t>(line) * height));
        if (data)
            image_ =
                XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, data,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, line);
        if (!image_) std::free(data);
    }
    format_.swap_bytes = image_ && (image_->byte_order == LSBFirst) != LittleEndian();
    if (!image_ || image_->bits_per_pixel != 32 ||
        !trails_.Attach(image_->data, width, height, image_->bytes_per_line, format_)) {
        std::fprintf(diag_, "lumivor: cannot hold a %dx%d picture in memory\n", width, height);
        Release();
        return false;
    }
    width_ = width;
    height_ = height;
    trails_.Clear(RGB_888{0, 0, 0});
    return true;
}

XImagePicture::~XImagePicture() {
    Release();
    if (gc_ && !x_connection_lost) XFreeGC(display_, gc_);
}

void XImagePicture::Release() {
    if (image_) {
        if (shared_ && x_connection_lost) {
            shmdt(shm_.shmaddr);  // the server has let go of it with the connection
            image_->data = nullptr;
        } else if (shared_) {
            // The server may still be reading the last images sent.
            XShmDetach(display_, &shm_);
            XSync(display_, False);
            shmdt(shm_.shmaddr);
            image_->data = nullptr;
        }
        XDestroyImage(image_);  // frees the data of an image in our own memory
    }
    image_ = nullptr;
    shared_ = false;
    width_ = height_ = 0;
    trails_.Detach();
}

long XImagePicture::Present() {
    const PixelRect* rects = nullptr;
    const int count = trails_.damage.Take(&rects);
    long pixels = 0;
    for (int i = 0; i < count && image_; ++i) {
        const PixelRect& r = rects[i];
        if (shared_)
            XShmPutImage(display_, window_, gc_, image_, r.x, r.y, r.x, r.y,
                         static_cast<unsigned>(r.width), static_cast<unsigned>(r.height), False);
        else
            XPutImage(display_, window_, gc_, image_, r.x, r.y, r.x, r.y,
                      static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
        pixels += static_cast<long>(r.width) * r.height;
    }
    XFlush(display_);
    return pixels;
}

void XImagePicture::Finish() {
    XSync(display_, False);
}
