// A general raster: 1 to 32 bits per pixel, rows `pitch` bytes apart, a pixel
// format, an optional colour table and ownership of its pixel bytes. BMP files
// are read and written here too.
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

struct BMP_FILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

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
    uint8_t* data = nullptr;
    uint32_t* palette = nullptr;
    PIXELFORMAT format = {0, 0, 0, 0, 0};
    uint32_t srcColorKey = 0;
    uint32_t dstColorKey = 0;
    bool bOwnPixels = false;

    Image() = default;
    ~Image() { Destroy(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    bool Create(uint32_t width, uint32_t height, uint32_t pitch, const PIXELFORMAT* format,
                void* pixels);
    bool Create(uint32_t width, uint32_t height, uint32_t bpp);
    void Destroy();
    bool Clear();
    static uint32_t CalcPitch(uint32_t width, uint32_t bpp, uint32_t align);
    bool GrayPalette(uint32_t* table, uint32_t count);
    bool SetPalette(const uint32_t* colors, uint32_t first, uint32_t count);
    const char* InfoString();

    // BMP files.
    bool Save(const char* path, bool bottomUp);
    bool Load(const char* path, bool topDown);
    bool BMPHeaders(BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool WriteBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool ReadBMPHeaders(FILE* f, BMP_FILEHEADER* fh, BMP_INFOHEADER* ih);
    bool WriteBMPPalette(FILE* f, BMP_INFOHEADER* ih);
    bool ReadBMPPalette(FILE* f, BMP_INFOHEADER* ih);
    bool WriteBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool bottomUp);
    bool ReadBMPPixels(FILE* f, BMP_INFOHEADER* ih, bool topDown);
};
