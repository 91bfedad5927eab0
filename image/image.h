// A general raster: 1 to 32 bits per pixel, rows `pitch` bytes apart, a pixel
// format, an optional colour table and ownership of its pixel bytes. BMP files
// are read and written here too.
//
// Every failure returns false and writes one line to standard error; nothing
// throws. Sizes are kept to 32 bits: an image whose row bits (width x bpp) or
// pixel bytes (pitch x height) do not fit in 32 bits is refused.
#pragma once

#include <cstdint>
#include <cstdio>

struct PIXELFORMAT {
    uint32_t bpp;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
};

// In memory the 32-bit fields are aligned; on disk the header is 14 packed
// little-endian bytes, so it is always read and written field by field.
struct BMP_FILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

// 40 bytes on disk, little-endian.
struct BMP_INFOHEADER {
    uint32_t biSize;
    uint32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

class Image {
  public:
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;
    uint8_t* data = nullptr;      // height x pitch bytes, row 0 first
    uint32_t* palette = nullptr;  // 2^bpp entries 0x00RRGGBB when all masks are 0; owned
    PIXELFORMAT format = {0, 0, 0, 0, 0};
    uint32_t srcColorKey = 0;
    uint32_t dstColorKey = 0;
    bool bOwnPixels = false;  // data was allocated here and is released by Destroy

    // Largest pixel block (pitch x height) an image may have: it must fit the
    // 32-bit size fields of the raster and of BMP files, and be addressable.
    static constexpr uint64_t kMaxPixelBytes = static_cast<uint64_t>(PTRDIFF_MAX) < UINT32_MAX
                                                   ? static_cast<uint64_t>(PTRDIFF_MAX)
                                                   : UINT32_MAX;

    Image() = default;
    ~Image() { Destroy(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Destroys the current content first. `pixels` null: allocate (uninitialised).
    bool Create(uint32_t width, uint32_t height, uint32_t pitch, const PIXELFORMAT* format,
                void* pixels);
    // Default format for bpp 1, 2, 4, 8, 16, 24, 32; rows padded to 4 bytes.
    bool Create(uint32_t width, uint32_t height, uint32_t bpp);
    void Destroy();
    bool Clear();
    // (width x bpp + 7) / 8 rounded up to `align` (0, 1 or a power of two);
    // UINT32_MAX when the row does not fit in 32 bits.
    static uint32_t CalcPitch(uint32_t width, uint32_t bpp, uint32_t align);
    bool GrayPalette(uint32_t* table, uint32_t count);
    bool SetPalette(const uint32_t* colors, uint32_t first, uint32_t count);
    // Shared static text, overwritten by every call.
    const char* InfoString();

    // BMP files.
    bool Save(const char* path, bool bottomUp);
    bool Load(const char* path, bool topDown);
    // The same from a stream at the start of the file (the caller closes it);
    // maxSide > 0 refuses a side of 0 or above it before anything is taken.
    bool Load(FILE* f, bool topDown, uint32_t maxSide);
    bool BMPHeaders(BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool WriteBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool ReadBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool WriteBMPPalette(FILE* f, BMP_INFOHEADER* ih);
    bool ReadBMPPalette(FILE* f, BMP_INFOHEADER* ih);
    bool WriteBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool bottomUp);
    bool ReadBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool topDown);
};
