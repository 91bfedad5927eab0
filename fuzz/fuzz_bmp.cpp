// Fuzz target for BMP files: every input is loaded with both row orders, the second load over
// the image the first one left. An image that loads has a format Load reads and rows wide
// enough for its pixels, and saving and loading it again gives back the same pixel rows.
#include <cstring>

#include "fuzz/harness.h"
#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input("bmp"), copy("bmp-copy");
    input.Set(data, size);
    Image im;
    for (const bool topDown : {false, true}) {
        if (!im.Load(input.Path(), topDown)) continue;
        const uint64_t bytes = uint64_t{im.pitch} * im.height;
        Check(im.format.bpp == 1 || im.format.bpp == 8 || im.format.bpp == 16 ||
              im.format.bpp == 24 || im.format.bpp == 32);
        Check(uint64_t{im.pitch} * 8 >= uint64_t{im.width} * im.format.bpp);
        Check(bytes == 0 || im.data != nullptr);         // a zero-sized raster may have no pixels
        if (bytes == 0 || bytes > (1u << 20)) continue;  // a round trip takes the whole raster
        copy.Clear();
        Image back;
        Check(im.Save(copy.Path(), false) && back.Load(copy.Path(), true));
        Check(back.width == im.width && back.height == im.height && back.pitch == im.pitch);
        Check(back.format.bpp == im.format.bpp && std::memcmp(back.data, im.data, bytes) == 0);
    }
    return 0;
}
