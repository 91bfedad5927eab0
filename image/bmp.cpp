// BMP files: 14-byte file header, an info header (written with 40 bytes; read
// also in its 12-byte core form and its longer forms), bit-field masks, an
// optional colour table, pixel rows padded to 4 bytes. Pixel bytes travel
// unchanged between file and image: bit-field masks become the image's pixel
// format. Every multi-byte field is little-endian on disk whatever the host.
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "image/file_writer.h"
#include "image/image.h"

namespace {

constexpr uint32_t kHeaderBytes = 54;
// Stream offsets are `long`: where it has 32 bits, larger offsets are out of reach.
constexpr uint64_t kMaxSeek = LONG_MAX;

bool WriteLE(FILE* f, uint32_t v, size_t n) {
    uint8_t b[4];
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return fwrite(b, n, 1, f) == 1;
}

bool ReadLE(FILE* f, size_t n, uint32_t* v) {
    uint8_t b[4];
    if (fread(b, n, 1, f) != 1) return false;
    uint32_t x = 0;
    for (size_t i = 0; i < n; ++i) x |= static_cast<uint32_t>(b[i]) << (8 * i);
    *v = x;
    return true;
}

template <typename T>
bool Read16(FILE* f, T* field) {
    uint32_t v = 0;
    if (!ReadLE(f, 2, &v)) return false;
    *field = static_cast<T>(v);
    return true;
}

template <typename T>
bool Read32(FILE* f, T* field) {
    uint32_t v = 0;
    if (!ReadLE(f, 4, &v)) return false;
    *field = static_cast<T>(v);
    return true;
}

// A BMP row: the packed pixel bits in whole bytes, padded to a multiple of 4.
uint64_t RowSize(uint64_t width, uint64_t bpp) {
    return ((width * bpp + 7) / 8 + 3) & ~uint64_t{3};
}

// Colour-table entries a header announces: biClrUsed, or 2^bpp when it is 0.
uint64_t TableEntries(const BMP_INFOHEADER* ih) {
    if (ih->biClrUsed != 0) return ih->biClrUsed;
    return ih->biBitCount < 32 ? uint64_t{1} << ih->biBitCount : UINT64_MAX;
}

// Entries the image's own colour table holds.
uint64_t PaletteEntries(const Image& im) {
    if (im.palette == nullptr || im.format.bpp > 8) return 0;
    return uint64_t{1} << im.format.bpp;
}

// A core header's colour table: blue, green, red, 3 bytes an entry.
bool ReadCoreTable(Image& im, FILE* f, const BMP_INFOHEADER& ih) {
    const uint64_t n = TableEntries(&ih);
    if (n > PaletteEntries(im)) return false;
    uint8_t bytes[256 * 3];
    const size_t size = static_cast<size_t>(3 * n);
    if (fread(bytes, 1, size, f) != size) return false;
    for (uint64_t i = 0; i < n; ++i) {
        im.palette[i] =
            bytes[3 * i] | uint32_t{bytes[3 * i + 1]} << 8 | uint32_t{bytes[3 * i + 2]} << 16;
    }
    return true;
}

// Header forms a file may carry, by their size: the 12-byte core header of
// OS/2 and early Windows, the 40-byte info header, and its later forms that
// carry the bit-field masks in the header (52, 56) and more after them (108, 124).
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
bool KnownHeaderSize(uint32_t size) {
    return size == kCoreHeader || size == kInfoHeader || size == 52 || size == 56 || size == 108 ||
           size == 124;
}

// Compression codes besides 0 (none): bit-field masks for red, green and blue,
// and for those and alpha.
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;

// What a file's headers say, whichever header form it has: a core header's
// fields are put into the info header's record.
struct BmpHeaders {
    BMP_FILEHEADER fh;
    BMP_INFOHEADER ih;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha; with bit fields only
    uint64_t end = 0;                  // where the headers and masks end
    uint32_t entryBytes = 4;           // a colour-table entry: 3 bytes after a core header
};

// Reads and drops n bytes, so that a stream that cannot seek reads on.
bool Skip(FILE* f, uint64_t n) {
    uint8_t drop[64];
    for (; n > 0; n -= n < sizeof drop ? n : sizeof drop) {
        const size_t part = n < sizeof drop ? static_cast<size_t>(n) : sizeof drop;
        if (fread(drop, 1, part, f) != part) return false;
    }
    return true;
}

// Reads every header the file has, up to the first colour-table entry; false
// on a short read. Of a header size no form has only the size is read.
bool ReadHeaders(FILE* f, BmpHeaders* h) {
    BMP_FILEHEADER& fh = h->fh;
    BMP_INFOHEADER& ih = h->ih;
    ih = {};
    if (!(Read16(f, &fh.bfType) && Read32(f, &fh.bfSize) && Read16(f, &fh.bfReserved1) &&
          Read16(f, &fh.bfReserved2) && Read32(f, &fh.bfOffBits) && Read32(f, &ih.biSize)))
        return false;
    h->end = 14 + uint64_t{ih.biSize};
    if (!KnownHeaderSize(ih.biSize)) return true;  // refused by the caller, after the type
    if (ih.biSize == kCoreHeader) {  // 16-bit sides, no compression, 3-byte table entries
        uint16_t w = 0, rows = 0;
        h->entryBytes = 3;
        if (!(Read16(f, &w) && Read16(f, &rows) && Read16(f, &ih.biPlanes) &&
              Read16(f, &ih.biBitCount)))
            return false;
        ih.biWidth = w;
        ih.biHeight = rows;
        return true;
    }
    if (!(Read32(f, &ih.biWidth) && Read32(f, &ih.biHeight) && Read16(f, &ih.biPlanes) &&
          Read16(f, &ih.biBitCount) && Read32(f, &ih.biCompression) && Read32(f, &ih.biSizeImage) &&
          Read32(f, &ih.biXPelsPerMeter) && Read32(f, &ih.biYPelsPerMeter) &&
          Read32(f, &ih.biClrUsed) && Read32(f, &ih.biClrImportant)))
        return false;
    // The masks follow a 40-byte header when bit fields are named, and are
    // part of the later forms (alpha from 56 bytes on).
    const bool bitFields = ih.biCompression == kBitFields || ih.biCompression == kAlphaBitFields;
    uint32_t count = 0;
    if (ih.biSize > kInfoHeader) {
        count = ih.biSize >= 56 ? 4 : 3;
    } else if (bitFields) {
        count = ih.biCompression == kAlphaBitFields ? 4 : 3;
        h->end += 4 * count;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!Read32(f, &h->masks[i])) return false;
    }
    if (!bitFields) std::memset(h->masks, 0, sizeof h->masks);  // header masks count only then
    return Skip(f, h->end - 14 - kInfoHeader - 4 * count);
}

// A refusal of bit-field masks, or null: each one contiguous, within the
// pixel's bits, none sharing a bit with another, and some colour named.
const char* MaskRefusal(const uint32_t masks[4], uint32_t bpp, char* text, size_t size) {
    for (int i = 0; i < 4; ++i) {
        const uint32_t m = masks[i];
        const uint32_t run = m == 0 ? 0 : m >> std::countr_zero(m);
        if ((run & (run + 1)) != 0) {
            snprintf(text, size, "bit field mask 0x%08X is not contiguous", m);
            return text;
        }
        if (bpp < 32 && (m >> bpp) != 0) {
            snprintf(text, size, "bit field mask 0x%08X exceeds %u bits a pixel", m,
                     static_cast<unsigned>(bpp));
            return text;
        }
        for (int j = 0; j < i; ++j) {
            if ((masks[j] & m) != 0) {
                snprintf(text, size, "bit field masks 0x%08X and 0x%08X overlap", masks[j], m);
                return text;
            }
        }
    }
    if ((masks[0] | masks[1] | masks[2]) == 0) return "bit field masks name no colour";
    return nullptr;
}

bool LoadFrom(Image& im, FILE* f, bool topDown, uint32_t maxSide) {
    // Offsets in the file count from where it starts in the stream (standard
    // input may stand inside a file).
    const long start = ftell(f);
    const uint64_t base = start > 0 ? static_cast<uint64_t>(start) : 0;
    BmpHeaders h;
    const BMP_FILEHEADER& fh = h.fh;
    BMP_INFOHEADER& ih = h.ih;
    if (!ReadHeaders(f, &h)) {
        fputs("Image::Load() failure: .bmp header read error\n", stderr);
        return false;
    }
    if (fh.bfType != 0x4D42) {
        fputs("Image::Load() failure: not a .bmp file\n", stderr);
        return false;
    }
    if (!KnownHeaderSize(ih.biSize)) {
        fprintf(stderr, "Image::Load() failure: unknown header size %u\n",
                static_cast<unsigned>(ih.biSize));
        return false;
    }
    const bool bitFields = ih.biCompression == kBitFields || ih.biCompression == kAlphaBitFields;
    if (ih.biCompression != 0 && !bitFields) {
        fputs("Image::Load() failure: compression not supported\n", stderr);
        return false;
    }
    const uint32_t bpp = ih.biBitCount;
    if (bitFields && bpp != 16 && bpp != 32) {
        fprintf(stderr, "Image::Load() failure: bit fields at %u bits a pixel\n",
                static_cast<unsigned>(bpp));
        return false;
    }
    char why[80];
    const char* refusal = bitFields ? MaskRefusal(h.masks, bpp, why, sizeof why) : nullptr;
    if (refusal != nullptr) {
        fprintf(stderr, "Image::Load() failure: %s\n", refusal);
        return false;
    }
    PIXELFORMAT fmt = {bpp, 0, 0, 0, 0};
    switch (bpp) {
        case 1:
        case 4:
        case 8:
            break;
        case 16:
            fmt = {bpp, 0x7C00, 0x03E0, 0x001F, 0};
            break;
        case 24:  // the file's blue, green, red byte order
            fmt = {bpp, 0x0000FF, 0x00FF00, 0xFF0000, 0};
            break;
        case 32:
            fmt = {bpp, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
            break;
        default:
            fputs("Image::Load() failure: unsupported color depth\n", stderr);
            return false;
    }
    if (bitFields) fmt = {bpp, h.masks[0], h.masks[1], h.masks[2], h.masks[3]};

    // Sizes are checked before the image is touched: in 32 bits these products
    // could wrap, and -2^31 rows has no positive count.
    const uint64_t rowBits = static_cast<uint64_t>(ih.biWidth) * bpp;
    const int64_t signedRows = ih.biHeight;
    const uint64_t rows = static_cast<uint64_t>(signedRows < 0 ? -signedRows : signedRows);
    const uint64_t rowSize = RowSize(ih.biWidth, bpp);
    if (ih.biHeight == INT32_MIN || rowBits > UINT32_MAX ||
        rowSize * rows > Image::kMaxPixelBytes) {
        fputs("Image::Load() failure: image too large\n", stderr);
        return false;
    }
    if (maxSide != 0 && (ih.biWidth < 1 || rows < 1 || ih.biWidth > maxSide || rows > maxSide)) {
        fprintf(stderr, "Image::Load() failure: size %u x %llu: each side must be 1 to %u\n",
                static_cast<unsigned>(ih.biWidth), static_cast<unsigned long long>(rows),
                static_cast<unsigned>(maxSide));
        return false;
    }
    const bool hasTable = bpp == 1 || bpp == 8;
    if (hasTable && ih.biClrUsed > (uint32_t{1} << bpp)) {
        fputs("Image::Load() failure: color table too large\n", stderr);
        return false;
    }
    // A core header names no table size: the table fills the room before the
    // pixels, 2^bpp entries at most.
    if (hasTable && h.entryBytes == 3 && fh.bfOffBits > h.end &&
        (fh.bfOffBits - h.end) / 3 < (uint64_t{1} << bpp))
        ih.biClrUsed = static_cast<uint32_t>((fh.bfOffBits - h.end) / 3);
    const uint64_t tableEnd = h.end + (hasTable ? h.entryBytes * TableEntries(&ih) : 0);
    // Pixels said to start inside the headers or the table would read those
    // bytes as pixels.
    if (fh.bfOffBits < tableEnd) {
        fprintf(stderr,
                "Image::Load() failure: pixel data offset %u lies inside the %llu header bytes\n",
                static_cast<unsigned>(fh.bfOffBits), static_cast<unsigned long long>(tableEnd));
        return false;
    }

    // A file too short to hold its colour table or its pixels is refused
    // before anything is allocated or the old content is dropped: a header
    // could otherwise ask for gigabytes. (Streams that cannot seek are read
    // and fail at the short read instead.)
    const long here = ftell(f);
    if (here >= 0 && fseek(f, 0, SEEK_END) == 0) {
        const long size = ftell(f);
        const bool back = fseek(f, here, SEEK_SET) == 0;
        if (back && size >= 0 && static_cast<uint64_t>(size) < base + tableEnd) {
            fputs("Image::Load() failure: ReadBMPPalette() error\n", stderr);
            return false;
        }
        if (back && size >= 0 &&
            static_cast<uint64_t>(size) < base + fh.bfOffBits + rowSize * rows) {
            fputs("Image::Load() failure: ReadBMPPixels() error\n", stderr);
            return false;
        }
    }

    // From here on the old content is gone.
    if (!im.Create(ih.biWidth, static_cast<uint32_t>(rows), static_cast<uint32_t>(rowSize), &fmt,
                   nullptr)) {
        return false;
    }
    if (bpp == 4) {
        fputs("Image::Load() failure: 4 bpp not yet supported\n", stderr);
        return false;
    }
    if (hasTable && !(h.entryBytes == 4 ? im.ReadBMPPalette(f, &ih) : ReadCoreTable(im, f, ih))) {
        fputs("Image::Load() failure: ReadBMPPalette() error\n", stderr);
        return false;
    }
    // Seek only when the pixels do not follow directly, so that streams that
    // cannot seek still load; a failed seek is reported, not ignored.
    if (fh.bfOffBits != tableEnd &&
        (base + fh.bfOffBits > kMaxSeek ||
         fseek(f, static_cast<long>(base + fh.bfOffBits), SEEK_SET) != 0)) {
        fputs("Image::Load() failure: cannot seek to pixel data\n", stderr);
        return false;
    }
    if (!im.ReadBMPPixels(f, &ih, topDown)) {
        fputs("Image::Load() failure: ReadBMPPixels() error\n", stderr);
        return false;
    }
    return true;
}

}  // namespace

bool Image::BMPHeaders(BMP_FILEHEADER* fh, BMP_INFOHEADER* ih) {
    if (fh == nullptr || ih == nullptr) return false;
    switch (format.bpp) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return false;
    }
    const uint64_t table = 4 * PaletteEntries(*this);
    // Rows in the file are BMP rows; their size is the pixel size announced.
    const uint64_t pixelBytes = RowSize(width, format.bpp) * height;
    const uint64_t fileBytes = pixelBytes + kHeaderBytes + table;
    if (fileBytes > UINT32_MAX) return false;  // not expressible in a BMP file

    fh->bfType = 0x4D42;
    fh->bfSize = static_cast<uint32_t>(fileBytes);
    fh->bfReserved1 = 0;
    fh->bfReserved2 = 0;
    fh->bfOffBits = static_cast<uint32_t>(kHeaderBytes + table);

    ih->biSize = 40;
    ih->biWidth = width;
    ih->biHeight = static_cast<int32_t>(height);
    ih->biPlanes = 1;
    ih->biBitCount = static_cast<uint16_t>(format.bpp);
    ih->biCompression = 0;
    ih->biSizeImage = static_cast<uint32_t>(pixelBytes);
    ih->biXPelsPerMeter = 3000;
    ih->biYPelsPerMeter = 3000;
    ih->biClrUsed = static_cast<uint32_t>(table / 4);
    ih->biClrImportant = 0;
    return true;
}

bool Image::WriteBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih) {
    if (f == nullptr || fh == nullptr || ih == nullptr) return false;
    return WriteLE(f, fh->bfType, 2) && WriteLE(f, fh->bfSize, 4) &&
           WriteLE(f, fh->bfReserved1, 2) && WriteLE(f, fh->bfReserved2, 2) &&
           WriteLE(f, fh->bfOffBits, 4) && WriteLE(f, ih->biSize, 4) &&
           WriteLE(f, ih->biWidth, 4) && WriteLE(f, static_cast<uint32_t>(ih->biHeight), 4) &&
           WriteLE(f, ih->biPlanes, 2) && WriteLE(f, ih->biBitCount, 2) &&
           WriteLE(f, ih->biCompression, 4) && WriteLE(f, ih->biSizeImage, 4) &&
           WriteLE(f, static_cast<uint32_t>(ih->biXPelsPerMeter), 4) &&
           WriteLE(f, static_cast<uint32_t>(ih->biYPelsPerMeter), 4) &&
           WriteLE(f, ih->biClrUsed, 4) && WriteLE(f, ih->biClrImportant, 4);
}

bool Image::ReadBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih) {
    if (f == nullptr || fh == nullptr || ih == nullptr) return false;
    return Read16(f, &fh->bfType) && Read32(f, &fh->bfSize) && Read16(f, &fh->bfReserved1) &&
           Read16(f, &fh->bfReserved2) && Read32(f, &fh->bfOffBits) && Read32(f, &ih->biSize) &&
           Read32(f, &ih->biWidth) && Read32(f, &ih->biHeight) && Read16(f, &ih->biPlanes) &&
           Read16(f, &ih->biBitCount) && Read32(f, &ih->biCompression) &&
           Read32(f, &ih->biSizeImage) && Read32(f, &ih->biXPelsPerMeter) &&
           Read32(f, &ih->biYPelsPerMeter) && Read32(f, &ih->biClrUsed) &&
           Read32(f, &ih->biClrImportant);
}

bool Image::WriteBMPPalette(FILE* f, BMP_INFOHEADER* ih) {
    if (f == nullptr || ih == nullptr) return false;
    const uint64_t n = TableEntries(ih);
    if (n > PaletteEntries(*this)) return false;  // more than the table holds
    uint8_t bytes[256 * 4];
    for (uint64_t i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<uint8_t>(palette[i] >> (8 * k));
    }
    const size_t size = static_cast<size_t>(4 * n);
    return fwrite(bytes, 1, size, f) == size;
}

bool Image::ReadBMPPalette(FILE* f, BMP_INFOHEADER* ih) {
    if (f == nullptr || ih == nullptr) return false;
    const uint64_t n = TableEntries(ih);
    if (n > PaletteEntries(*this)) return false;  // would overrun the table
    uint8_t bytes[256 * 4];
    const size_t size = static_cast<size_t>(4 * n);
    if (fread(bytes, 1, size, f) != size) return false;
    for (uint64_t i = 0; i < n; ++i) {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(bytes[4 * i + k]) << (8 * k);
        palette[i] = v;
    }
    return true;
}

// Rows whose pitch differs from the BMP row size are moved one by one: the
// row's own bytes, then zero padding up to the BMP row size.
bool Image::WriteBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool bottomUp) {
    if (f == nullptr || ih == nullptr || data == nullptr) return false;
    const size_t r = static_cast<size_t>(RowSize(width, format.bpp));
    if (r == 0) return true;  // rows of no bytes
    if (bottomUp && r == pitch) {
        const size_t size = r * height;
        return fwrite(data, 1, size, f) == size;
    }
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    const size_t part = r < pitch ? r : pitch;
    const size_t pad = r - part;  // below 4: pitch holds at least the packed row
    for (uint32_t i = 0; i < height; ++i) {
        const uint32_t row = bottomUp ? i : height - 1 - i;
        if (fwrite(data + static_cast<size_t>(row) * pitch, 1, part, f) != part) return false;
        if (pad != 0 && fwrite(zeros, 1, pad, f) != pad) return false;
    }
    return true;
}

bool Image::ReadBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool topDown) {
    if (f == nullptr || ih == nullptr || data == nullptr) return false;
    const bool reverse = ih->biHeight < 0 ? !topDown : topDown;
    const size_t r = static_cast<size_t>(RowSize(width, format.bpp));
    if (r == 0) return true;  // rows of no bytes
    if (!reverse && r == pitch) {
        const size_t size = r * height;
        return fread(data, 1, size, f) == size;
    }
    uint8_t skip[4];
    const size_t part = r < pitch ? r : pitch;
    const size_t pad = r - part;
    for (uint32_t i = 0; i < height; ++i) {
        const uint32_t row = reverse ? height - 1 - i : i;
        if (fread(data + static_cast<size_t>(row) * pitch, 1, part, f) != part) return false;
        if (pad != 0 && fread(skip, 1, pad, f) != pad) return false;
    }
    return true;
}

bool Image::Save(const char* path, bool bottomUp) {
    if (data == nullptr) {
        fputs("Image::Save() failure: no image data\n", stderr);
        return false;
    }
    // Headers first: an image that cannot be written leaves no file behind.
    BMP_FILEHEADER fh;
    BMP_INFOHEADER ih;
    if (!BMPHeaders(&fh, &ih)) {
        fputs("Image::Save() failure: BMPHeaders() error\n", stderr);
        return false;
    }
    FileWriter out;
    if (!out.Open(path)) {
        fputs("Image::Save() failure: can not open file\n", stderr);
        errno = out.Error();
        perror("Image::Save() fopen()");
        return false;
    }
    FILE* f = out.Stream();
    if (!WriteBMPHeaders(f, &fh, &ih)) {
        fputs("Image::Save() failure: WriteBMPHeaders() error\n", stderr);
        return false;  // the writer's destructor removes the temporary
    }
    if (palette != nullptr && !WriteBMPPalette(f, &ih)) {
        fputs("Image::Save() failure: WriteBMPPalette() error\n", stderr);
        return false;
    }
    if (!WriteBMPPixels(f, &ih, bottomUp)) {
        fputs("Image::Save() failure: WriteBMPPixels() error\n", stderr);
        return false;
    }
    // Buffered bytes reach the file only now; a full disk shows here.
    if (!out.Commit()) {
        const bool late =
            strcmp(out.FailedCall(), "fsync") == 0 || strcmp(out.FailedCall(), "rename") == 0;
        fprintf(stderr, "Image::Save() failure: %s() error\n", late ? out.FailedCall() : "fclose");
        fprintf(stderr, "Image::Save() %s(): %s\n", out.FailedCall(), strerror(out.Error()));
        return false;
    }
    return true;
}

bool Image::Load(const char* path, bool topDown) {
    FILE* f = path != nullptr ? OpenFile(path, "rb") : nullptr;
    if (f == nullptr) {
        fprintf(stderr, "Image::Load() failure: cannot open %s\n",
                path != nullptr ? path : "(null)");
        return false;
    }
    const bool ok = LoadFrom(*this, f, topDown, 0);
    fclose(f);
    return ok;
}

bool Image::Load(FILE* f, bool topDown, uint32_t maxSide) {
    if (f == nullptr) {
        fputs("Image::Load() failure: no file\n", stderr);
        return false;
    }
    return LoadFrom(*this, f, topDown, maxSide);
}
