// Fuzz target for habitat files: every input is loaded into a 4 x 3 world
// and, when its header names a small size, into a world of that size too, with
// both row orders. Checked on every input:
// - a refused file leaves both rasters as they were;
// - an accepted file leaves the HSL habitat equal to the conversion of the RGB
//   one, and saving and loading it again gives back the same raster.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "colour/hsl.h"
#include "fuzz/memory_file.h"
#include "world/biotope.h"

namespace {

// Worlds made from the input's header stay this small, so that one input
// costs little time and memory.
constexpr long kMaxCells = 1 << 14;

// Reads the size as the loader does: line 1, comment lines, "W H". The line
// length limit does not matter here: a size line that parses differently only
// leads to a refused load, which is checked as well.
bool PeekSize(const uint8_t* data, size_t size, long* w, long* h) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < size && lines.size() < 64; ++i) {
        if (data[i] == '\n') {
            lines.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 1;
        }
    }
    size_t n = 1;
    while (n < lines.size() && !lines[n].empty() && lines[n][0] == '#') ++n;
    if (n >= lines.size()) return false;
    const char* p = lines[n].c_str();
    char* end = nullptr;
    *w = std::strtol(p, &end, 10);
    if (end == p) return false;
    p = end;
    *h = std::strtol(p, &end, 10);
    return end != p;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

std::vector<uint8_t> Pixels(const Image& im) {
    return std::vector<uint8_t>(im.data, im.data + static_cast<size_t>(im.width) * im.height * 3);
}

// Loads the input into `world` and checks the outcome.
void LoadAndCheck(Biotope& world, const char* path, bool topDown, MemoryFile* copy) {
    const RGB_888 mark = {17, 99, 201};
    world.ClearHabitat(&mark);
    const std::vector<uint8_t> rgb_before = Pixels(world.rgb_habitat);
    const std::vector<uint8_t> hsl_before = Pixels(world.hsl_habitat);
    if (!world.LoadHabitat(path, topDown)) {
        Check(Pixels(world.rgb_habitat) == rgb_before);
        Check(Pixels(world.hsl_habitat) == hsl_before);
        return;
    }
    const size_t cells = static_cast<size_t>(world.rgb_habitat.width) * world.rgb_habitat.height;
    const RGB_888* rgb = reinterpret_cast<const RGB_888*>(world.rgb_habitat.data);
    const HSL_888* hsl = reinterpret_cast<const HSL_888*>(world.hsl_habitat.data);
    for (size_t i = 0; i < cells; ++i) {
        HSL_888 want;
        RGBtoHSL(&rgb[i], &want);
        Check(std::memcmp(&want, &hsl[i], 3) == 0);
    }
    if (copy == nullptr) return;
    // Round trip through a saved copy.
    const std::vector<uint8_t> loaded = Pixels(world.rgb_habitat);
    Check(world.SaveHabitat(copy->Path(), topDown));
    world.ClearHabitat(&mark);
    Check(world.LoadHabitat(copy->Path(), topDown));
    Check(Pixels(world.rgb_habitat) == loaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input("habitat");
    static MemoryFile copy("habitat-copy");
    static Biotope small;
    if (!small.HasHabitat()) Check(small.CreateHabitat(4, 3));

    input.Set(data, size);
    LoadAndCheck(small, input.Path(), false, nullptr);
    LoadAndCheck(small, input.Path(), true, nullptr);

    long w = 0, h = 0;
    if (PeekSize(data, size, &w, &h) && w > 0 && h > 0 && w <= kMaxCells && h <= kMaxCells &&
        w * h <= kMaxCells) {
        Biotope sized;
        Check(sized.CreateHabitat(static_cast<unsigned long>(w), static_cast<unsigned long>(h)));
        LoadAndCheck(sized, input.Path(), (size & 1) != 0, &copy);
    }
    return 0;
}
