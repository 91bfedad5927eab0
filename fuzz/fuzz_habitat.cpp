// Fuzz target for habitat files. Every input is loaded into a 4 x 3 world with both row orders
// and read by the one-pass reader from the file and from a pipe. Checked on every input:
// - a refused load leaves both rasters as they were; an accepted one leaves the HSL habitat
//   equal to the conversion of the RGB one;
// - both reads agree; an accepted picture is whole and within the size limit;
// - the loader and the reader take the same files: the 4 x 3 world takes what the reader
//   takes at 4 x 3, and a small world of the picture's size loads the file, the picture and a
//   saved copy of its habitat to the same raster.
#include <fcntl.h>

#include <cstring>

#include "colour/hsl.h"
#include "fuzz/harness.h"
#include "world/biotope.h"
#include "world/habitat_reader.h"

namespace {

std::vector<uint8_t> Pixels(const Image& im) {
    return std::vector<uint8_t>(im.data, im.data + static_cast<size_t>(im.width) * im.height * 3);
}

// Loads the file into `world`, painted over first, and checks the outcome; whether it loaded.
bool LoadAndCheck(Biotope& world, const char* path, bool topDown) {
    const RGB_888 mark = {17, 99, 201};
    world.ClearHabitat(&mark);
    const std::vector<uint8_t> rgb = Pixels(world.rgb_habitat), hsl = Pixels(world.hsl_habitat);
    if (!world.LoadHabitat(path, topDown)) {
        Check(Pixels(world.rgb_habitat) == rgb && Pixels(world.hsl_habitat) == hsl);
        return false;
    }
    const auto* cells = reinterpret_cast<const RGB_888*>(world.rgb_habitat.data);
    const auto* converted = reinterpret_cast<const HSL_888*>(world.hsl_habitat.data);
    for (size_t i = 0; i < size_t{world.rgb_habitat.width} * world.rgb_habitat.height; ++i) {
        HSL_888 want;
        RGBtoHSL(&cells[i], &want);
        Check(std::memcmp(&want, &converted[i], 3) == 0);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input("habitat"), copy("habitat-copy");
    static Biotope small;
    if (!small.HasHabitat()) Check(small.CreateHabitat(4, 3));
    input.Set(data, size);

    HabitatPicture picture;
    const bool read = ReadHabitatPicture(input.Path(), &picture);
    const long w = picture.width, h = picture.height;
    Check(!read || (w >= 1 && w <= kMaxHabitatSide && h >= 1 && h <= kMaxHabitatSide &&
                    static_cast<size_t>(w * h * 3) <= size));
    int fds[2];  // the one-pass reader through a pipe too, when the input fits in an empty one
    if (size <= 65536) {
        Check(pipe2(fds, O_CLOEXEC) == 0 &&
              write(fds[1], data, size) == static_cast<ssize_t>(size) && close(fds[1]) == 0);
        HabitatPicture piped;
        Check(ReadHabitatPicture(("/proc/self/fd/" + std::to_string(fds[0])).c_str(), &piped) ==
              read);
        close(fds[0]);
        Check(!read || (piped.width == w && piped.height == h &&
                        !std::memcmp(picture.rows.get(), piped.rows.get(), size_t{3} * w * h)));
    }
    Check(LoadAndCheck(small, input.Path(), false) == (read && w == 4 && h == 3));
    Check(LoadAndCheck(small, input.Path(), true) == (read && w == 4 && h == 3));
    if (!read || w * h > (1 << 14)) return 0;  // small worlds only: an input costs little
    Biotope sized, again;
    Check(sized.CreateHabitat(w, h) && again.CreateHabitat(w, h));
    Check(LoadAndCheck(sized, input.Path(), (size & 1) != 0));
    Check(LoadHabitatPicture(again, input.Path(), picture, (size & 1) != 0));
    Check(Pixels(again.rgb_habitat) == Pixels(sized.rgb_habitat));
    copy.Clear();
    Check(sized.SaveHabitat(copy.Path(), true) && again.LoadHabitat(copy.Path(), true));
    Check(Pixels(again.rgb_habitat) == Pixels(sized.rgb_habitat));
    return 0;
}
