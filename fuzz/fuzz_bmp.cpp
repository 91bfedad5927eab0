// Fuzz target for BMP files: every input is loaded with both row orders, the
// second load over the image the first one left. Checked on every input: an
// image that loads has a format Load reads and rows wide enough for its
// pixels, and saving and loading it again gives back the same pixel rows.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "fuzz/memory_file.h"
#include "image/image.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// A file in a private temporary folder for the saved copies (Save replaces
// its target by renaming, so it needs a real folder). libFuzzer may end the
// process without running destructors: scripts/fuzz.sh points TMPDIR into
// the build folder and empties it afterwards.
class CopyFile {
  public:
    CopyFile() {
        const char* base = std::getenv("TMPDIR");
        dir_ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/fuzz_bmp.XXXXXX";
        if (mkdtemp(dir_.data()) == nullptr) std::abort();
        path_ = dir_ + "/copy.bmp";
    }
    ~CopyFile() {
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }
    const char* Path() const { return path_.c_str(); }

  private:
    std::string dir_, path_;
};

// Saves `im` and loads it back; the rows must come back in the same order.
void RoundTrip(Image& im, const CopyFile& copy) {
    Check(im.Save(copy.Path(), false));
    Image back;
    Check(back.Load(copy.Path(), true));
    Check(back.width == im.width && back.height == im.height && back.pitch == im.pitch);
    Check(back.format.bpp == im.format.bpp);
    Check(std::memcmp(back.data, im.data, static_cast<size_t>(im.pitch) * im.height) == 0);
    std::remove(copy.Path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input("bmp");
    static CopyFile copy;
    input.Set(data, size);

    Image im;
    for (const bool topDown : {false, true}) {
        if (!im.Load(input.Path(), topDown)) continue;
        const uint64_t bytes = static_cast<uint64_t>(im.pitch) * im.height;
        Check(im.format.bpp == 1 || im.format.bpp == 8 || im.format.bpp == 24 || im.format.bpp == 32);
        Check(static_cast<uint64_t>(im.pitch) * 8 >=
              static_cast<uint64_t>(im.width) * im.format.bpp);
        // A zero-sized raster may come without pixel bytes; it is not saved.
        if (bytes == 0 || im.data == nullptr) {
            Check(bytes == 0);
            continue;
        }
        // Small images only: a round trip writes and reads the whole raster.
        if (bytes <= (1u << 20)) RoundTrip(im, copy);
    }
    return 0;
}
