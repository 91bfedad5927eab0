#include "host/render/picture_reader.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/image.h"

#ifdef LUMIVOR_HAVE_PNG
#include <png.h>
#include <sys/stat.h>

#include <csetjmp>

namespace {

// Bytes a measurable stream still holds from where it stands; -1 for a stream
// whose length cannot be known (a pipe).
long long BytesLeft(std::FILE* f) {
    struct stat st;
    const long at = std::ftell(f);
    if (at < 0 || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size > at ? static_cast<long long>(st.st_size - at) : 0;
}

bool SideFits(uint64_t side) {
    return side >= 1 && side <= static_cast<uint64_t>(kMaxHabitatSide);
}

// The most a deflate stream can expand: 1032 bytes out for every byte in.
constexpr uint64_t kMostDeflateRatio = 1032;

// What the decoder leaves behind: filled in step by step, so that a libpng
// error (a longjmp out of the decoder) loses nothing that needs freeing.
struct PngRead {
    std::unique_ptr<uint8_t[]> rows;  // decoded RGB rows, top first
    uint32_t width = 0;
    uint32_t height = 0;
    char error[300] = "";
    char warning[100] = "";  // the first warning, shown with an error
};

// A whole stream read into memory, for libpng to read from.
struct HeldBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    size_t at = 0;  // where libpng reads next
};

// Reads what is left of `f` into *held, in doubling steps; false on a read
// error or when memory runs out.
bool HoldAll(std::FILE* f, HeldBytes* held) {
    size_t capacity = 0;
    for (;;) {
        if (held->size == capacity) {
            const size_t grown = capacity == 0 ? size_t{1} << 16 : capacity * 2;
            std::unique_ptr<uint8_t[]> next(new (std::nothrow) uint8_t[grown]);
            if (next == nullptr) return false;
            if (held->size > 0) std::memcpy(next.get(), held->data.get(), held->size);
            held->data = std::move(next);
            capacity = grown;
        }
        const size_t n = std::fread(held->data.get() + held->size, 1, capacity - held->size, f);
        held->size += n;
        if (n == 0) return !std::ferror(f);
    }
}

void ReadHeld(png_structp png, png_bytep out, size_t n) {
    HeldBytes* held = static_cast<HeldBytes*>(png_get_io_ptr(png));
    if (n > held->size - held->at) png_error(png, "Read Error");
    std::memcpy(out, held->data.get() + held->at, n);
    held->at += n;
}

// libpng reports errors by longjmp; this frame holds nothing that needs
// destroying, only plain values and the state in `read`.
// The file is read from `f`, or from `held` when given; `length` is what
// either holds.
bool DecodePNG(std::FILE* f, HeldBytes* held, uint64_t length, PngRead& read) {
    // An error ends the decoding; the first warning before it often names
    // the cause ("Invalid IHDR data" follows "Image width is zero in IHDR").
    png_structp png = png_create_read_struct(
        PNG_LIBPNG_VER_STRING, &read,
        [](png_structp p, png_const_charp msg) {
            PngRead* r = static_cast<PngRead*>(png_get_error_ptr(p));
            if (r->warning[0] != '\0') {
                std::snprintf(r->error, sizeof r->error, "%s (%s)", msg, r->warning);
            } else {
                std::snprintf(r->error, sizeof r->error, "%s", msg);
            }
            png_longjmp(p, 1);
        },
        [](png_structp p, png_const_charp msg) {
            PngRead* r = static_cast<PngRead*>(png_get_error_ptr(p));
            if (r->warning[0] == '\0') std::snprintf(r->warning, sizeof r->warning, "%s", msg);
        });
    if (png == nullptr) {
        std::snprintf(read.error, sizeof read.error, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    if (held != nullptr) {
        png_set_read_fn(png, held, ReadHeld);
    } else {
        png_init_io(png, f);
    }
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (!SideFits(w) || !SideFits(h)) {
        std::snprintf(read.error, sizeof read.error,
                      "invalid size (%u x %u): each side must be 1 to %d", static_cast<unsigned>(w),
                      static_cast<unsigned>(h), kMaxHabitatSide);
        png_longjmp(png, 1);
    }
    // The rows as stored, each with its filter byte: the compressed data of
    // the file must be able to hold them.
    const uint64_t stored =
        (static_cast<uint64_t>(w) * png_get_channels(png, info) * depth + 7) / 8;
    if ((stored + 1) * h > kMostDeflateRatio * length) {
        std::snprintf(read.error, sizeof read.error,
                      "truncated pixel data (%u x %u): %llu bytes cannot hold it",
                      static_cast<unsigned>(w), static_cast<unsigned>(h),
                      static_cast<unsigned long long>(length));
        png_longjmp(png, 1);
    }
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (!(colour & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (depth == 16) png_set_scale_16(png);
    // Alpha is dropped, also where a tRNS chunk gives it: expanding a palette
    // would otherwise add an alpha byte to every pixel.
    if ((colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_strip_alpha(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t row_bytes = static_cast<size_t>(w) * 3;
    if (png_get_rowbytes(png, info) != row_bytes) {
        std::snprintf(read.error, sizeof read.error, "unexpected row layout");
        png_longjmp(png, 1);
    }
    // Interlaced rows come back in every pass: the whole picture is held.
    read.rows.reset(new (std::nothrow) uint8_t[row_bytes * h]);
    if (read.rows == nullptr) {
        std::snprintf(read.error, sizeof read.error, "cannot allocate pixel data (%u x %u)",
                      static_cast<unsigned>(w), static_cast<unsigned>(h));
        png_longjmp(png, 1);
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, read.rows.get() + row_bytes * y, nullptr);
    }
    read.width = w;
    read.height = h;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

bool ReadPNGPicture(std::FILE* f, HabitatPicture* picture) {
    // A stream whose length cannot be measured (a pipe) is read whole first,
    // so that its picture too is held to what its bytes can hold before
    // memory is taken for the rows.
    const long long left = BytesLeft(f);
    HeldBytes held;
    if (left < 0 && !HoldAll(f, &held)) {
        std::fprintf(stderr, "PNG file refused: %s\n",
                     std::ferror(f) ? std::strerror(errno) : "out of memory");
        return false;
    }
    PngRead read;
    if (!DecodePNG(f, left < 0 ? &held : nullptr,
                   left < 0 ? held.size : static_cast<uint64_t>(left), read)) {
        std::fprintf(stderr, "PNG file refused: %s\n", read.error);
        return false;
    }
    picture->rows = std::move(read.rows);
    picture->width = static_cast<int>(read.width);
    picture->height = static_cast<int>(read.height);
    return true;
}

bool PictureReaderHasPNG() {
    return true;
}

#else

bool ReadPNGPicture(std::FILE*, HabitatPicture*) {
    std::fprintf(stderr, "PNG file refused: this build reads no PNG files (libpng was missing)\n");
    return false;
}

bool PictureReaderHasPNG() {
    return false;
}

#endif

namespace {

// One channel of a pixel value scaled to 8 bits by rounding; 0 for a channel
// the format does not hold. Masks are contiguous (the BMP reader checks).
uint8_t Channel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint64_t most = mask >> shift;
    return static_cast<uint8_t>((((value & mask) >> shift) * uint64_t{255} + most / 2) / most);
}

// Pixel x of a row in RGB: through the colour table (1 to 8 bits, the first
// pixel in the high bits of a byte), from 24-bit blue, green, red bytes, or
// from a 16- or 32-bit little-endian value by the format's masks.
void PixelRGB(const Image& im, const uint8_t* row, uint32_t x, uint8_t* out) {
    const uint32_t bpp = im.format.bpp;
    if (bpp <= 8) {
        const uint32_t bit = x * bpp;
        const uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        const uint32_t entry = im.palette[index];
        out[0] = static_cast<uint8_t>(entry >> 16);
        out[1] = static_cast<uint8_t>(entry >> 8);
        out[2] = static_cast<uint8_t>(entry);
        return;
    }
    const uint8_t* in = row + static_cast<size_t>(x) * (bpp / 8);
    if (bpp == 24) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        return;
    }
    uint32_t value = 0;
    for (uint32_t k = 0; k < bpp / 8; ++k) value |= static_cast<uint32_t>(in[k]) << (8 * k);
    out[0] = Channel(value, im.format.redMask);
    out[1] = Channel(value, im.format.greenMask);
    out[2] = Channel(value, im.format.blueMask);
}

}  // namespace

bool ReadBMPPicture(std::FILE* f, HabitatPicture* picture) {
    // The reader refuses other sides, and files too short for their pixels,
    // before it takes memory for them. Row 0 of the image is the top row.
    Image im;
    if (!im.Load(f, true, static_cast<uint32_t>(kMaxHabitatSide))) return false;
    const size_t row_bytes = static_cast<size_t>(im.width) * 3;
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[row_bytes * im.height]);
    if (rows == nullptr) {
        std::fprintf(stderr, "cannot allocate pixel data (%u x %u)\n", im.width, im.height);
        return false;
    }
    for (uint32_t y = 0; y < im.height; ++y) {
        const uint8_t* in = im.data + static_cast<size_t>(y) * im.pitch;
        uint8_t* out = rows.get() + row_bytes * y;
        for (uint32_t x = 0; x < im.width; ++x) PixelRGB(im, in, x, out + 3 * x);
    }
    picture->rows = std::move(rows);
    picture->width = static_cast<int>(im.width);
    picture->height = static_cast<int>(im.height);
    return true;
}

bool ReadStartPicture(const char* path, HabitatPicture* picture) {
    const char* reason = "";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(OpenHabitatFile(path, &reason), std::fclose);
    if (f == nullptr) {
        if (reason == kStandardInputClosed) {
            std::fprintf(stderr, "%s\n", reason);
        } else if (path != nullptr && std::strcmp(path, "-") == 0) {
            std::fprintf(stderr, "cannot read standard input: %s\n", reason);
        } else {
            std::fprintf(stderr, "cannot open picture %s: %s\n", path != nullptr ? path : "(none)",
                         reason);
        }
        return false;
    }
    // One byte tells the formats apart, and one byte can always be put back.
    const int first = std::getc(f.get());
    if (first != EOF) std::ungetc(first, f.get());
    switch (first) {
        case 0x89:  // PNG's signature: 89 'P' 'N' 'G' CR LF 1A LF
            return ReadPNGPicture(f.get(), picture);
        case 'B':  // BMP: "BM"
            return ReadBMPPicture(f.get(), picture);
        case 'P':  // PPM: "P6"
        case EOF:
            return ReadHabitatPicture(f.get(), picture);
        default:
            std::fprintf(stderr, "unsupported file format: not a PNG, BMP or binary PPM picture\n");
            return false;
    }
}
