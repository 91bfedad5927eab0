// The world: its habitat and the guards of a half-built world, the preset communities, habitat
// files on the real file system, the world's tools, and drawing on a real GL surface.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "colour/random_tovi.h"
#include "host/render/picture_reader.h"
#include "tests/support/captured.h"
#include "tests/support/child.h"
#include "tests/support/gl_surface.h"
#include "world/biotope.h"
#include "world/community.h"
#include "world/habitat_reader.h"

namespace {

template <typename F>
std::string Err(F f) {  // what f() writes to stderr
    return Captured(f).second;
}

std::string Cells(const Image& im) {  // packed three-byte cells
    return {reinterpret_cast<const char*>(im.data), size_t{im.width} * im.height * 3};
}

std::string HslOf(const std::string& rgb) {  // what packed RGB cells convert to
    std::string hsl(rgb);
    for (size_t i = 0; i + 3 <= rgb.size(); i += 3)
        RGBtoHSL(reinterpret_cast<const RGB_888*>(&rgb[i]), reinterpret_cast<HSL_888*>(&hsl[i]));
    return hsl;
}

void Fill(Image& im) {  // cells and rows that differ
    for (size_t i = 0; i < size_t{im.width} * im.height * 3; ++i)
        im.data[i] = static_cast<uint8_t>(i * 7 + i / 5);
}

const TempFolder dir;  // ctest runs each test in a process of its own
const std::string px = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";  // 4 x 3 cells, bytes all differ

// A new habitat is grey (196) in RGB and its HSL form (0, 0, 196). A failed habitat leaves no
// rasters (not one of each size), with the message; a world without a habitat neither walks nor
// draws but still counts updates. (How genes 8 to 12 choose each bot's channels is held by the
// reference runs: each code, 0, 1 and another, stands in genes 8 and 9 of the presets.)
TEST(Biotope, NewHabitatIsGreyAFailedOneLeavesNoRasters) {
    Biotope w;
    const auto [out, err] = Captured([&] {
        ASSERT_TRUE(w.Create(8, 37, 23, 4242));
        EXPECT_TRUE(w.rgb_habitat.data[0] == 196 && w.hsl_habitat.data[1] == 0 &&
                    w.hsl_habitat.data[2] == 196);
        EXPECT_FALSE(w.CreateHabitat(0, 5));
        EXPECT_FALSE(w.Create(8, 100000, 100000, 3));
    });
    EXPECT_EQ(out.rfind("Biotope::Create(8, 37, 23, 4242)\ncreated 37x23 habitat", 0), 0u);
    EXPECT_NE(err.find("Biotope::CreateHabitat() failure: cannot create 0x5 habitat\n"),
              std::string::npos);
    EXPECT_TRUE(!w.HasHabitat() && w.rgb_habitat.data == nullptr && w.hsl_habitat.data == nullptr);
    EXPECT_TRUE(w.Update() && w.n_updates == 1);
    w.Destroy();
    w.Destroy();  // twice is harmless
    EXPECT_EQ(w.bots, nullptr);
}

// The preset communities and their installation into the world (each community's objects,
// messages and seeding are held by the reference runs).
TEST(Community, UnknownNumbersAreRefused) {
    for (int n : {10, -1}) {
        scr_w = scr_h = 100;
        EXPECT_EQ(Captured([n] { EXPECT_FALSE(InitCommunity(n)); }).second,
                  "InitCommunity(" + std::to_string(n) + ")\ncommunity " + std::to_string(n) +
                      " : no such community!\n");
    }
}

TEST(Community, StepCountsFollowTheSurface) {
    const int sizes[][3] = {
        {1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728}, {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        scr_w = s[0], scr_h = s[1];  // preset 1's world on this surface, as the saver builds it
        Captured([] { InitCommunity(1, StartClock::Fixed(5)); });
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
}

// The exact layout (header, rows of 3 x 5 bytes, not 4-aligned); topDown puts habitat row 0
// first, loading in the other order flips. An empty world saves the "0 0" file; an empty path
// is refused with the reason.
TEST(HabitatFile, SavesTheLayoutAndRoundTripsInEveryRowOrder) {
    const std::string path = dir / "h.ppm";
    Biotope world;
    EXPECT_TRUE(world.SaveHabitat(path.c_str(), kTopRowFirst));
    EXPECT_EQ(ReadFile(path), "P6\n#quib habitat\n0 0\n255\n");
    EXPECT_EQ(Err([&] { EXPECT_FALSE(world.SaveHabitat("", kTopRowFirst)); }),
              "could not open \nSaveHabitat() fopen(): No such file or directory\n");
    ASSERT_TRUE(world.CreateHabitat(5, 2));
    Fill(world.rgb_habitat);
    for (const auto& [save_td, load_td] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 1}}) {
        SCOPED_TRACE(testing::Message() << "save " << save_td << " load " << load_td);
        const std::string r = Cells(world.rgb_habitat), flip = r.substr(15) + r.substr(0, 15);
        ASSERT_TRUE(world.SaveHabitat(path.c_str(), save_td));
        EXPECT_EQ(ReadFile(path), "P6\n#quib habitat\n5 2\n255\n" + (save_td ? r : flip));
        EXPECT_TRUE(world.LoadHabitat(path.c_str(), load_td));  // what it says: the next test's
        EXPECT_EQ(Cells(world.rgb_habitat), save_td == load_td ? r : flip);
        EXPECT_EQ(Cells(world.hsl_habitat), HslOf(Cells(world.rgb_habitat)));
    }
}

// Each file with the loader's answer into a 4 x 3 world and the one-pass reader's ("": taken);
// a picture the reader takes then loads as the file does, here in the other row order (the file
// loader's rows are checked in the round trips above). A refused load touches neither raster;
// comments pass; sizes are clamped, never wrapped.
TEST(HabitatFile, BothLoadersRefuseWithTheirReasonAndChangeNothing) {
    const std::string bad = "invalid size (0 x 0)\n",
                      big = "incompatible size : habitat 4 x 3, file ",
                      side = "): each side must be 1 to 32768\n";
    const struct {
        std::string file, load;
        std::optional<std::string> read = {};  // the reader's answer where it differs
    } cases[] = {
        {"", "unsupported file format (no .ppm)\n"},
        {"P5\n4 3\n255\n" + px, "unsupported file format (no .ppm)\n"},
        {"P6\n#a\n", bad},
        {"P6 4 3 255\n" + px, bad},
        {"P6\n4\n255\n" + px, "invalid size (4 x 0)\n"},
        {"P6\n4 3\n#\n", "invalid maxval (0)\n"},
        {"P6\n#" + std::string(149, 'c') + "\n4 3\n255\n" + px, bad},  // the rest is a line
        {"P6\n-4 -3\n255\n" + px, big + "-4 x -3\n", "invalid size (-4 x -3" + side},
        {"P6\n0 3\n255\n" + px, big + "0 x 3\n", "invalid size (0 x 3" + side},
        {"P6\n32769 1\n255\n" + px, big + "32769 x 1\n", "invalid size (32769 x 1" + side},
        {"P6\n4294967300 3\n255\n" + px, big + "2147483647 x 3\n",
         "invalid size (2147483647 x 3" + side},
        {"P6\n4 3\n255\n" + px.substr(1), "truncated pixel data (4 x 3)\n"},
        {"P6\n4 3\n65535\n" + px, "invalid maxval (65535): only 255 is supported\n"},
        {"P6\n4 3\n0\n" + px, "invalid maxval (0): only 255 is supported\n"},
        {"P6\n3 4\n255\n" + px, big + "3 x 4\n", ""},
        {"P6\n#a\n#b\n4 3\n#c\n255\n" + px, ""},
    };
    const std::string path = dir / "bad.ppm", ok = "4 x 3\nBiotope::HabitatRGBtoHSL() : done\n",
                      flip = px.substr(24) + px.substr(12, 12) + px.substr(0, 12);
    Biotope world;
    ASSERT_TRUE(world.CreateHabitat(4, 3));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 20));
        const std::string read = c.read.value_or(c.load);
        const std::string rgb = Cells(world.rgb_habitat), hsl = Cells(world.hsl_habitat);
        WriteFile(path, c.file);
        EXPECT_EQ(Err([&] { EXPECT_EQ(world.LoadHabitat(path.c_str(), true), c.load.empty()); }),
                  c.load.empty() ? ok : c.load);
        HabitatPicture picture;
        EXPECT_EQ(Err([&] { EXPECT_EQ(ReadHabitatPicture(path.c_str(), &picture), read.empty()); }),
                  read);
        if (read.empty()) {
            EXPECT_EQ(Err([&] {
                          EXPECT_EQ(LoadHabitatPicture(world, "-", picture, false), c.load.empty());
                      }),
                      c.load.empty() ? ok : c.load);
        }
        EXPECT_EQ(Cells(world.rgb_habitat), c.load.empty() ? flip : rgb);
        EXPECT_EQ(Cells(world.hsl_habitat), c.load.empty() ? HslOf(flip) : hsl);
    }
    const std::string missing = dir / "none",
                      gone = "LoadHabitat() fopen(): No such file or directory\n";
    HabitatPicture picture;
    EXPECT_EQ(Err([&] { EXPECT_FALSE(world.LoadHabitat(missing.c_str(), true)); }), gone);
    EXPECT_EQ(Err([&] { EXPECT_FALSE(ReadHabitatPicture(missing.c_str(), &picture)); }), gone);

    Image none, w5, h7, bpp8;
    ASSERT_TRUE(w5.Create(5, 3, 24) && h7.Create(4, 7, 24) && bpp8.Create(4, 3, 8));
    const std::pair<const Image*, std::string> refusals[] = {
        {nullptr, "no input"},
        {&none, "no input data"},
        {&bpp8, "incompatible color depths"},
        {&w5, "incompatible input widths (5 - 4)"},
        {&h7, "incompatible input heights  (7 - 3)"},
    };
    for (const auto& [rgb, why] : refusals) {
        EXPECT_EQ(Err([&, image = rgb] { world.HabitatRGBtoHSL(image, &world.hsl_habitat); }),
                  "Biotope::HabitatRGBtoHSL() : failure : " + why + "\n");
        EXPECT_EQ(Cells(world.hsl_habitat), HslOf(flip));
    }
}

// Runs f in a child process that can map 1 GiB more than it has mapped now (a sanitizer
// reserves much up front), less than a 32768 x 32768 picture; 0 when it gave true.
int WithLittleMemory(const std::function<bool()>& f) {
    return InChild([&] {
        rlim_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 30);
        const rlimit lim = {room, room};
        return setrlimit(RLIMIT_AS, &lim) == 0 && f();
    });
}

// The start-from reader never allocates what a short file, or a pipe, only names. (That it
// reads a pipe in one pass is the start pictures' test's, through standard input, and the
// habitat fuzz target's.)
TEST(HabitatFile, StartFromReaderTrustsNoHeader) {
    const std::string fifo = dir / "start.fifo", path = dir / "start.ppm";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A header naming 3 GB, then a few bytes: from a file and from a pipe.
    const std::string huge = "P6\n32768 32768\n255\nabc";
    WriteFile(path, huge);
    const auto short_file = [&](const std::string& from) {
        HabitatPicture p;
        bool ok = true;
        const std::string err = Err([&] { ok = ReadHabitatPicture(from.c_str(), &p); });
        return !ok && err == "truncated pixel data (32768 x 32768)\n";
    };
    EXPECT_EQ(WithLittleMemory([&] { return short_file(path); }), 0);
    std::thread pipe_feed([&] { WriteFile(fifo, huge); });
    EXPECT_EQ(WithLittleMemory([&] { return short_file(fifo); }), 0);
    pipe_feed.join();
}

std::string LE(uint32_t v, int n) {  // n little-endian bytes
    std::string b;
    for (int i = 0; i < n; ++i) b += char(v >> 8 * i);
    return b;
}

// A 2 x 1 BMP file: a header of `size` bytes (12: the core form; `masks` within a longer one),
// then `after` (masks, a colour table), then the pixel row.
std::string Bmp(uint32_t size, int bpp, int compression, const std::string& after,
                const std::string& row, const std::string& masks = "") {
    const uint32_t at = 14 + size + uint32_t(after.size());
    std::string info = size == 12 ? LE(2, 2) + LE(1, 2) + LE(1, 2) + LE(bpp, 2)
                                  : LE(2, 4) + LE(1, 4) + LE(1, 2) + LE(bpp, 2) +
                                        LE(compression, 4) + std::string(20, '\0') + masks;
    info.resize(size - 4, '\0');
    return "BM" + LE(at + uint32_t(row.size()), 4) + LE(0, 4) + LE(at, 4) + LE(size, 4) + info +
           after + row;
}

// A 2 x 1 PNG of (10, 20, 30) and (200, 100, 50) by libpng's writer in `format`: RGB, RGB
// with alpha, 16-bit RGB, grey (10 and 200), or a palette of `entries` colours (1, 2, 4 or 8
// bits an index) whose first two are those, fully transparent and half (a tRNS chunk).
std::string Png(png_uint_32 format, uint32_t entries = 0) {
    uint8_t map[256 * 4] = {10, 20, 30, 0, 200, 100, 50, 128};
    const uint8_t index[2] = {0, 1}, grey[2] = {10, 200}, rgb[6] = {10, 20, 30, 200, 100, 50},
                  rgba[8] = {10, 20, 30, 255, 200, 100, 50, 128};
    const uint16_t wide[6] = {2570, 5140, 7710, 51400, 25700, 12850};
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = format;
    image.colormap_entries = entries;
    const void* pixels = entries != 0                      ? index
                         : format == PNG_FORMAT_GRAY       ? grey
                         : format == PNG_FORMAT_RGBA       ? rgba
                         : format == PNG_FORMAT_LINEAR_RGB ? static_cast<const void*>(wide)
                                                           : rgb;
    std::string out(4096, '\0');
    png_alloc_size_t size = out.size();
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, 0, map)) return "";
    return out.substr(0, size);
}

// A PNG whose header names another size, its checksum mended: the pixels stay those of 2 x 1.
std::string Resized(std::string png, uint32_t w, uint32_t h) {
    const auto be = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    png.replace(16, 8, be(w) + be(h));
    const auto* header = reinterpret_cast<const Bytef*>(png.data() + 12);
    return png.replace(29, 4, be(static_cast<uint32_t>(crc32(0, header, 17))));
}

// Start pictures in every form the reader takes give their colours, alpha dropped: PNG in RGB,
// with alpha, 16 bits, grey, palettes with transparency at every index depth; BMP of 24 bits,
// bit fields wherever the masks stand, 5-5-5 without them, colour tables of core (3-byte
// entries) and info headers. Refusals (truncated, damaged, too large, unknown) are one line each
// (the BMP loader's own refusals are its suite's).
TEST(StartPicture, ReadsEveryFormAndRefusesWithOneLine) {
    using namespace std::string_literals;
    const std::string two = "\x0a\x14\x1e\xc8\x64\x32", bgr = "\x1e\x14\x0a\x32\x64\xc8\0\0"s,
                      rgbx = "\x0a\x14\x1e\0\xc8\x64\x32\0"s, load = "Image::Load() failure: ";
    const std::string low_red = LE(0xFF, 4) + LE(0xFF00, 4) + LE(0xFF0000, 4),
                      huge = Resized(Png(PNG_FORMAT_RGB), 30000, 30000);
    const struct {
        std::string file, rgb, err = "";
    } cases[] = {
        {Png(PNG_FORMAT_RGB), two},
        {Png(PNG_FORMAT_RGBA), two},
        {Png(PNG_FORMAT_LINEAR_RGB), two},
        {Png(PNG_FORMAT_GRAY), "\x0a\x0a\x0a\xc8\xc8\xc8"},
        {Png(PNG_FORMAT_RGBA_COLORMAP, 256), two},
        {Png(PNG_FORMAT_RGBA_COLORMAP, 16), two},
        {Png(PNG_FORMAT_RGBA_COLORMAP, 4), two},
        {Png(PNG_FORMAT_RGBA_COLORMAP, 2), two},
        {Bmp(40, 24, 0, "", bgr), two},
        {Png(PNG_FORMAT_RGB).substr(0, 40), "", "PNG file refused: Read Error\n"},
        {Png(PNG_FORMAT_RGB).substr(0, 29) + "XXXX" + Png(PNG_FORMAT_RGB).substr(33), "",
         "PNG file refused: IHDR: CRC error\n"},
        {Bmp(40, 24, 0, "", bgr).replace(22, 4, LE(40000, 4)), "",
         load + "size 2 x 40000: each side must be 1 to 32768\n"},
        {"GIF89a", "", "unsupported file format: not a PNG, BMP or binary PPM picture\n"},
        {Resized(Png(PNG_FORMAT_RGB), 40000, 1), "",
         "PNG file refused: invalid size (40000 x 1): each side must be 1 to 32768\n"},
        {huge, "",
         "PNG file refused: truncated pixel data (30000 x 30000): " + std::to_string(huge.size()) +
             " bytes cannot hold it\n"},
        {Bmp(40, 32, 3, low_red, rgbx), two},
        {Bmp(40, 32, 6, low_red + LE(0xFF000000, 4), rgbx), two},
        {Bmp(124, 32, 3, "", "\0\x0a\x14\x1e\0\xc8\x64\x32"s,
             LE(0xFF00, 4) + LE(0xFF0000, 4) + LE(0xFF000000, 4) + LE(0xFF, 4)),
         two},
        {Bmp(108, 32, 0, "", "\x1e\x14\x0a\0\x32\x64\xc8\0"s, low_red), two},  // masks unused
        {Bmp(40, 16, 3, LE(0xF800, 4) + LE(0x07E0, 4) + LE(0x1F, 4), LE(0xF800, 2) + LE(0x07F0, 2)),
         "\xff\0\0\0\xff\x84"s},
        {Bmp(40, 16, 0, "", LE(0x7C00, 2) + LE(1, 2)), "\xff\0\0\0\0\x08"s},
        {Bmp(12, 24, 0, "", bgr), two},
        {Bmp(12, 8, 0, "\x1e\x14\x0a\x32\x64\xc8", "\0\1\0\0"s), two},
        {Bmp(40, 1, 0, "\x1e\x14\x0a\0\x32\x64\xc8\0"s, "\x40\0\0\0"s), two},
        {Bmp(40, 32, 3, LE(0xF0, 4) + LE(0xF00, 4) + LE(0x3003, 4), rgbx), "",
         load + "bit field mask 0x00003003 is not contiguous\n"},
        {Bmp(40, 32, 3, LE(0xFF, 4) + LE(0x1F0, 4) + LE(0x3000, 4), rgbx), "",
         load + "bit field masks 0x000000FF and 0x000001F0 overlap\n"},
        {Bmp(40, 16, 3, LE(0x1F, 4) + LE(0x10000, 4) + LE(0x3000, 4), rgbx), "",
         load + "bit field mask 0x00010000 exceeds 16 bits a pixel\n"},
    };
    const std::string path = dir / "picture";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.file.substr(0, 40)));
        WriteFile(path, c.file);
        HabitatPicture p;
        EXPECT_EQ(Err([&] { EXPECT_EQ(ReadStartPicture(path.c_str(), &p), c.err.empty()); }),
                  c.err);
        if (c.err.empty()) {
            ASSERT_TRUE(p.width == 2 && p.height == 1);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.rows.get()), 6), c.rgb);
        }
    }
}

// Seeded clear: three draws, then back to `seed`; ReInitCommunity: clock seed, three per bot.
TEST(HabitatTools, SeededClearAndReInitCommunityDraw) {
    Biotope world;
    ASSERT_TRUE(world.Create(1, 7, 5, 777));
    long d[4];
    srandom_tovi(12345);
    for (long& v : d) v = random_tovi();
    const RGB_888 c = {200, 200, 200};
    world.ClearHabitat(&c, 12345);
    const long next = random_tovi();
    srandom_tovi(777);
    EXPECT_EQ(next, random_tovi());
    const std::string k{char(200 + (d[0] & 7)), char(200 + (d[1] & 7)), char(200 + (d[2] & 7))};
    std::string cells;
    for (int i = 0; i < 35; ++i) cells += k;
    EXPECT_EQ(Cells(world.rgb_habitat), cells);
    EXPECT_EQ(Cells(world.hsl_habitat), HslOf(cells));
    EXPECT_TRUE(world.ReInitCommunity(StartClock::Fixed(12345)));
    const Bot& bot = world.bots[0];
    EXPECT_TRUE(world.seed == 12345 && bot.x == d[0] % 7 && bot.y == d[1] % 5 &&
                bot.dir == (d[2] & 7));
    EXPECT_EQ(random_tovi(), d[3]);
    world.rgb_habitat.Destroy();
    EXPECT_FALSE(world.ReInitCommunity());
}

// Rows of 3 x 15 bytes (not 4-aligned) land pixel for pixel; each bot's tick in its colour.
TEST(HabitatDraw, DrawsTheDisplayCopyAndEachBotsMarker) {
    TestGLSurface s;
    Biotope world;
    ASSERT_TRUE(s.Create(15, 12) && world.Create(2, 15, 12, 1));
    Fill(world.rgb_habitat);
    const auto shown = [&s] {
        const auto v = s.ReadRGB();
        return std::string(v.begin(), v.end());
    };
    world.DrawHabitat();
    EXPECT_EQ(shown(), Cells(world.rgb_habitat));
    Bot &a = world.bots[0], &b = world.bots[1];
    a.x = 4, a.y = 8, a.dir = 3, a.color = {0, 255, 128};  // heading right, shown (255, 1, 1)
    b.x = 10, b.y = 3, b.dir = 5, b.color = {0, 0, 0};     // heading up, black
    world.DrawInfo();
    const std::string got = shown();
    const auto at = [&](int x, int y) { return got.substr(size_t(y * 15 + x) * 3, 3); };
    EXPECT_EQ(at(5, 8) + at(6, 8), "\xff\x01\x01\xff\x01\x01");  // the ticks run through pixel
    EXPECT_EQ(at(10, 4) + at(10, 5), std::string(6, '\0'));      // centres next to the cell
}

}  // namespace
