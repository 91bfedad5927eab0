// Fuzz target for habitat files: every input is loaded into a 4 x 3 world
// and, when its header names a small size, into a world of that size too, with
// both row orders. Checked on every input:
// - a refused file leaves both rasters as they were;
// - an accepted file leaves the HSL habitat equal to the conversion of the RGB
//   one, and saving and loading it again gives back the same raster;
// - the one-pass reader gives the same answer from the file and from a pipe,
//   accepts only sizes within the limit with every pixel present, and agrees
//   with the loader on a world of the file's size.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "colour/hsl.h"
#include "fuzz/memory_file.h"
#include "world/biotope.h"
#include "world/habitat_reader.h"

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
    copy->Clear();
    Check(world.SaveHabitat(copy->Path(), topDown));
    world.ClearHabitat(&mark);
    Check(world.LoadHabitat(copy->Path(), topDown));
    Check(Pixels(world.rgb_habitat) == loaded);
}

// Reads the input with the one-pass reader from the file and from a pipe;
// both must agree, and an accepted picture must be whole and within limits.
bool ReadBothWays(const char* path, const uint8_t* data, size_t size, HabitatPicture* picture) {
    const bool from_file = ReadHabitatPicture(path, picture);
    const size_t bytes = from_file ? static_cast<size_t>(picture->width) * picture->height * 3 : 0;
    if (from_file) {
        Check(picture->width >= 1 && picture->width <= kMaxHabitatSide);
        Check(picture->height >= 1 && picture->height <= kMaxHabitatSide);
        Check(bytes <= size);
    }
    // The whole input is put into the pipe before it is read: it must fit.
    if (size > 65536) return from_file;
    int fds[2];
    Check(pipe2(fds, O_CLOEXEC) == 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fds[1], data + done, size - done);
        Check(n > 0);
        done += static_cast<size_t>(n);
    }
    close(fds[1]);
    char name[40];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fds[0]);
    HabitatPicture piped;
    const bool from_pipe = ReadHabitatPicture(name, &piped);
    close(fds[0]);
    Check(from_file == from_pipe);
    if (from_file) {
        Check(piped.width == picture->width && piped.height == picture->height);
        Check(std::memcmp(picture->rows.get(), piped.rows.get(), bytes) == 0);
    }
    return from_file;
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

    HabitatPicture picture;
    const bool read = ReadBothWays(input.Path(), data, size, &picture);
    long w = 0, h = 0;
    if (PeekSize(data, size, &w, &h) && w > 0 && h > 0 && w <= kMaxCells && h <= kMaxCells &&
        w * h <= kMaxCells) {
        Biotope sized;
        Check(sized.CreateHabitat(static_cast<unsigned long>(w), static_cast<unsigned long>(h)));
        LoadAndCheck(sized, input.Path(), (size & 1) != 0, &copy);
        // The one-pass reader and the loader take the same files with the same pixels.
        const bool loaded = sized.LoadHabitat(input.Path(), true);
        Check(loaded == (read && picture.width == w && picture.height == h));
        if (loaded) {
            Biotope again;
            Check(
                again.CreateHabitat(static_cast<unsigned long>(w), static_cast<unsigned long>(h)));
            Check(LoadHabitatPicture(again, input.Path(), picture, true));
            Check(Pixels(again.rgb_habitat) == Pixels(sized.rgb_habitat));
        }
    }
    return 0;
}
