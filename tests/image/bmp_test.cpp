// BMP files on a real file system: layout, round trips, malformed input and
// failing saves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

uint32_t U32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t U16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
void Put(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t RowSize(uint32_t w, uint32_t bpp) { return ((w * bpp + 7) / 8 + 3) & ~3u; }

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

// A BMP file as the tests want it, well formed unless a field says otherwise.
struct BmpFile {
    uint16_t type = 0x4D42;
    uint32_t width = 3;
    int32_t height = 2;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    Bytes table;        // colour-table bytes
    Bytes gap;          // bytes between table and pixels
    Bytes pixels;       // pixel rows
    int64_t offBits = -1;  // -1: right after table and gap

    Bytes Build() const {
        Bytes b;
        const uint32_t off =
            offBits >= 0 ? static_cast<uint32_t>(offBits)
                         : static_cast<uint32_t>(54 + table.size() + gap.size());
        Put(b, type, 2);
        Put(b, static_cast<uint32_t>(54 + table.size() + gap.size() + pixels.size()), 4);
        Put(b, 0, 2);
        Put(b, 0, 2);
        Put(b, off, 4);
        Put(b, 40, 4);
        Put(b, width, 4);
        Put(b, static_cast<uint32_t>(height), 4);
        Put(b, 1, 2);
        Put(b, bpp, 2);
        Put(b, compression, 4);
        Put(b, static_cast<uint32_t>(pixels.size()), 4);
        Put(b, 2835, 4);
        Put(b, 2835, 4);
        Put(b, clrUsed, 4);
        Put(b, 0, 4);
        b.insert(b.end(), table.begin(), table.end());
        b.insert(b.end(), gap.begin(), gap.end());
        b.insert(b.end(), pixels.begin(), pixels.end());
        return b;
    }
};

BmpFile File24(uint32_t w, int32_t h) {
    BmpFile f;
    f.width = w;
    f.height = h;
    f.pixels = Pattern(RowSize(w, 24) * static_cast<size_t>(h < 0 ? -h : h), 1);
    return f;
}

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Row(const Image& im, uint32_t y) {
    return Bytes(im.data + static_cast<size_t>(y) * im.pitch,
                 im.data + static_cast<size_t>(y + 1) * im.pitch);
}

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Each test gets a fresh folder, removed afterwards.
class Bmp : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "lumivor-bmp-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::string Path(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

// An 8-bit image holding recognisable bytes, to show a failed Load left it alone.
void MakeMarked(Image& im) {
    ASSERT_TRUE(im.Create(5, 3, 8));
    for (uint32_t i = 0; i < im.pitch * im.height; ++i) im.data[i] = static_cast<uint8_t>(i * 3);
    im.palette[7] = 0x123456;
}

bool IsMarked(const Image& im) {
    if (im.data == nullptr || im.width != 5 || im.height != 3 || im.format.bpp != 8) return false;
    for (uint32_t i = 0; i < im.pitch * im.height; ++i) {
        if (im.data[i] != static_cast<uint8_t>(i * 3)) return false;
    }
    return im.palette != nullptr && im.palette[7] == 0x123456;
}

TEST_F(Bmp, HeaderLayoutOf24BitImage) {
    Image im;
    ASSERT_TRUE(im.Create(2, 2, 24));
    for (uint32_t i = 0; i < 16; ++i) im.data[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_TRUE(im.Save(Path("a.bmp").c_str(), true));
    const Bytes b = ReadAll(dir / "a.bmp");
    ASSERT_EQ(b.size(), 70u);
    EXPECT_EQ(b[0], 0x42);
    EXPECT_EQ(b[1], 0x4D);
    struct Field {
        size_t at;
        int size;
        uint32_t value;
    };
    const Field fields[] = {{2, 4, 70},  {6, 2, 0},   {8, 2, 0},     {10, 4, 54},   {14, 4, 40},
                            {18, 4, 2},  {22, 4, 2},  {26, 2, 1},    {28, 2, 24},   {30, 4, 0},
                            {34, 4, 16}, {38, 4, 3000}, {42, 4, 3000}, {46, 4, 0}, {50, 4, 0}};
    for (const Field& f : fields) {
        EXPECT_EQ(f.size == 2 ? U16(b, f.at) : U32(b, f.at), f.value) << "offset " << f.at;
    }
    // Rows of 8 bytes, padding written as it stands, memory order.
    EXPECT_EQ(Bytes(b.begin() + 54, b.end()), Bytes(im.data, im.data + 16));
}

TEST_F(Bmp, HeaderLayoutOfPalettisedImage) {
    Image im;
    ASSERT_TRUE(im.Create(4, 1, 8));
    const uint32_t colour = 0x00112233;
    ASSERT_TRUE(im.SetPalette(&colour, 5, 1));
    ASSERT_TRUE(im.Save(Path("p.bmp").c_str(), false));
    const Bytes b = ReadAll(dir / "p.bmp");
    ASSERT_EQ(b.size(), 1082u);
    EXPECT_EQ(U32(b, 2), 1082u);
    EXPECT_EQ(U32(b, 10), 1078u);
    EXPECT_EQ(U32(b, 46), 256u);
    EXPECT_EQ(U32(b, 54 + 4 * 5), colour);  // blue, green, red, 0
    EXPECT_EQ(b[54 + 4 * 5], 0x33);
    for (uint32_t i : {0u, 1u, 128u, 255u}) EXPECT_EQ(U32(b, 54 + 4 * i), i * 0x010101u);
}

TEST_F(Bmp, RoundTripsInAllFlagCombinations) {
    struct Depth {
        uint32_t bpp, width;
    };
    for (const Depth d : {Depth{1, 13}, Depth{8, 5}, Depth{24, 3}}) {
        for (const bool bottomUp : {false, true}) {
            for (const bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message() << "bpp " << d.bpp << " bottomUp " << bottomUp
                                                << " topDown " << topDown);
                Image src;
                ASSERT_TRUE(src.Create(d.width, 4, d.bpp));
                const Bytes fill = Pattern(src.pitch * 4, 9);
                std::copy(fill.begin(), fill.end(), src.data);
                if (src.palette != nullptr) src.palette[1] = 0x00ABCDEF;
                ASSERT_TRUE(src.Save(Path("r.bmp").c_str(), bottomUp));

                Image dst;
                ASSERT_TRUE(dst.Create(9, 9, 32));  // replaced by the file's content
                CaptureStderr();
                ASSERT_TRUE(dst.Load(Path("r.bmp").c_str(), topDown));
                EXPECT_EQ(GetCapturedStderr(), "");
                EXPECT_EQ(dst.width, d.width);
                EXPECT_EQ(dst.height, 4u);
                EXPECT_EQ(dst.pitch, src.pitch);
                EXPECT_EQ(dst.format.bpp, d.bpp);
                for (uint32_t y = 0; y < 4; ++y) {
                    const uint32_t from = bottomUp != topDown ? y : 3 - y;  // equal flags mirror
                    EXPECT_EQ(Row(dst, y), Row(src, from)) << "row " << y;
                }
                if (d.bpp == 24) {
                    const PIXELFORMAT bgr = {24, 0x0000FF, 0x00FF00, 0xFF0000, 0};
                    EXPECT_EQ(0, memcmp(&dst.format, &bgr, sizeof bgr));
                    EXPECT_EQ(dst.palette, nullptr);
                } else {
                    ASSERT_NE(dst.palette, nullptr);
                    const size_t n = size_t{1} << d.bpp;
                    EXPECT_EQ(std::vector<uint32_t>(dst.palette, dst.palette + n),
                              std::vector<uint32_t>(src.palette, src.palette + n));
                }
            }
        }
    }
}

TEST_F(Bmp, TopDownFileRowOrder) {
    const BmpFile f = File24(3, -3);
    WriteAll(dir / "t.bmp", f.Build());
    for (const bool topDown : {true, false}) {
        Image im;
        ASSERT_TRUE(im.Load(Path("t.bmp").c_str(), topDown));
        ASSERT_EQ(im.height, 3u);
        for (uint32_t y = 0; y < 3; ++y) {
            const uint32_t fileRow = topDown ? y : 2 - y;  // topDown keeps the file's order
            EXPECT_EQ(Row(im, y), Bytes(f.pixels.begin() + fileRow * 12,
                                        f.pixels.begin() + (fileRow + 1) * 12));
        }
    }
}

TEST_F(Bmp, ShortColourTableKeepsGreyRamp) {
    BmpFile f;
    f.bpp = 8;
    f.width = 4;
    f.height = 1;
    f.clrUsed = 16;
    f.table = Pattern(64, 200);
    f.pixels = Pattern(4, 0);
    WriteAll(dir / "c.bmp", f.Build());
    Image im;
    ASSERT_TRUE(im.Load(Path("c.bmp").c_str(), false));
    ASSERT_NE(im.palette, nullptr);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(im.palette[i], U32(f.table, 4 * i));
    for (uint32_t i = 16; i < 256; ++i) EXPECT_EQ(im.palette[i], i * 0x010101u);
    EXPECT_EQ(Row(im, 0), f.pixels);
}

TEST_F(Bmp, PixelsAtTheirOffsetAndBitFields) {
    BmpFile f = File24(2, 2);
    f.gap = Bytes(6, 0xEE);  // the pixels start 6 bytes after the headers
    f.compression = 3;       // accepted; its masks are not read
    WriteAll(dir / "g.bmp", f.Build());
    Image im;
    ASSERT_TRUE(im.Load(Path("g.bmp").c_str(), false));
    EXPECT_EQ(Bytes(im.data, im.data + 16), f.pixels);
}

struct Malformed {
    const char* name;
    Bytes file;
    const char* message;
    uint32_t width, height, bpp;  // image left by the failure; 0 width and bpp: untouched
};

std::vector<Malformed> MalformedFiles() {
    std::vector<Malformed> cases;
    const auto add = [&cases](const char* name, const Bytes& file, const char* msg,
                              uint32_t w = 0, uint32_t h = 0, uint32_t bpp = 0) {
        cases.push_back({name, file, msg, w, h, bpp});
    };
    const Bytes good = File24(3, 2).Build();
    const char* headerError = "Image::Load() failure: .bmp header read error\n";
    const char* tooLarge = "Image::Load() failure: image too large\n";
    add("empty", {}, headerError);
    add("file header cut", Bytes(good.begin(), good.begin() + 13), headerError);
    add("info header cut", Bytes(good.begin(), good.begin() + 53), headerError);

    BmpFile f = File24(3, 2);
    f.type = 0x4E42;
    add("wrong magic", f.Build(), "Image::Load() failure: not a .bmp file\n");
    for (const uint32_t c : {1u, 2u, 4u}) {
        f = File24(3, 2);
        f.compression = c;
        add("compressed", f.Build(), "Image::Load() failure: compression not supported");
    }
    for (const int bpp : {0, 2, 7, 33, 0xFFFF}) {
        f = File24(3, 2);
        f.bpp = static_cast<uint16_t>(bpp);
        add("unsupported depth", f.Build(), "Image::Load() failure: unsupported color depth\n");
    }
    struct Size {
        const char* name;
        uint32_t w;
        int32_t h;
        uint16_t bpp;
    };
    for (const Size s : {Size{"widest row", 0xFFFFFFFFu, 1, 24},
                         Size{"width x bpp of 2^33", 0x10000000u, 1, 32},
                         Size{"2^31 rows", 1, INT32_MIN, 24}, Size{"2^31 empty rows", 0, INT32_MIN, 8},
                         Size{"rows x row size over 32 bits", 0xFFFF, 0xFFFF, 24},
                         Size{"negative rows x row size", 0x10000, -0x10000, 8}}) {
        f = BmpFile();
        f.width = s.w;
        f.height = s.h;
        f.bpp = s.bpp;
        add(s.name, f.Build(), tooLarge);
    }
    f = BmpFile();
    f.bpp = 8;
    f.clrUsed = 257;
    f.table = Bytes(257 * 4, 1);
    add("8-bit table of 257", f.Build(), "Image::Load() failure: color table too large\n");
    f.bpp = 1;
    f.clrUsed = 3;
    add("1-bit table of 3", f.Build(), "Image::Load() failure: color table too large\n");

    // Refused after the image was created with the file's size and format.
    f = BmpFile();
    f.width = 7;
    f.height = -5;
    for (const int bpp : {4, 16, 32}) {
        f.bpp = static_cast<uint16_t>(bpp);
        static const char* const msgs[] = {"Image::Load() failure: 4 bpp not yet supported\n",
                                           "Image::Load() failure: 16 bpp not yet supported\n",
                                           "Image::Load() failure: 32 bpp not yet supported\n"};
        add("unsupported but known depth", f.Build(), msgs[bpp == 4 ? 0 : bpp == 16 ? 1 : 2], 7,
            5, static_cast<uint32_t>(bpp));
    }
    // Files too short for their table or pixels are refused before the image
    // is touched, so nothing of the old content is lost.
    f = BmpFile();
    f.bpp = 8;
    f.table = Bytes(100, 3);
    add("table cut", f.Build(), "Image::Load() failure: ReadBMPPalette() error\n");
    const char* pixelError = "Image::Load() failure: ReadBMPPixels() error\n";
    add("pixels cut", Bytes(good.begin(), good.end() - 1), pixelError);
    f = File24(3, -2);
    Bytes cut = f.Build();
    cut.resize(cut.size() - 13);
    add("top-down pixels cut", cut, pixelError);
    f = File24(3, 2);
    f.offBits = 70;
    add("pixels offset past the end", f.Build(), pixelError);
    f.offBits = 0xFFFFFFFFu;
    add("largest pixel offset", f.Build(), pixelError);
    // A 54-byte header that asks for 2^29 rows allocates nothing.
    f = BmpFile();
    f.width = 1;
    f.height = 536870912;
    f.bpp = 24;
    f.pixels.clear();
    add("huge image, header only", f.Build(), pixelError);
    return cases;
}

TEST_F(Bmp, MalformedFilesAreRefused) {
    for (const Malformed& c : MalformedFiles()) {
        SCOPED_TRACE(c.name);
        WriteAll(dir / "m.bmp", c.file);
        Image im;
        MakeMarked(im);
        CaptureStderr();
        EXPECT_FALSE(im.Load(Path("m.bmp").c_str(), true));
        EXPECT_EQ(GetCapturedStderr(), c.message);
        if (c.bpp == 0) {
            EXPECT_TRUE(IsMarked(im));
        } else {
            EXPECT_EQ(im.width, c.width);
            EXPECT_EQ(im.height, c.height);
            EXPECT_EQ(im.format.bpp, c.bpp);
            EXPECT_EQ(im.pitch, RowSize(c.width, c.bpp));
            ASSERT_NE(im.data, nullptr);
            memset(im.data, 0, static_cast<size_t>(im.pitch) * im.height);  // block is whole
        }
    }
}

TEST_F(Bmp, MissingFile) {
    Image im;
    MakeMarked(im);
    const std::string path = Path("absent.bmp");
    CaptureStderr();
    EXPECT_FALSE(im.Load(path.c_str(), false));
    EXPECT_EQ(GetCapturedStderr(), "Image::Load() failure: cannot open " + path + "\n");
    EXPECT_TRUE(IsMarked(im));
}

// Streams that cannot seek: a file whose pixels follow its headers loads, one
// that needs a seek is refused rather than read from the wrong place.
TEST_F(Bmp, PipeInput) {
    const std::string fifo = Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    BmpFile plain = File24(2, 2);
    BmpFile gapped = File24(2, 2);
    gapped.gap = Bytes(4, 0);
    struct Case {
        Bytes file;
        bool ok;
        const char* message;
    };
    const Case cases[] = {{plain.Build(), true, ""},
                          {gapped.Build(), false,
                           "Image::Load() failure: cannot seek to pixel data\n"}};
    for (const Case& c : cases) {
        std::thread writer([&fifo, &c] {
            const int fd = open(fifo.c_str(), O_WRONLY);
            if (fd < 0) return;
            const ssize_t n = write(fd, c.file.data(), c.file.size());  // one write, < PIPE_BUF
            (void)n;
            close(fd);
        });
        Image im;
        CaptureStderr();
        EXPECT_EQ(im.Load(fifo.c_str(), false), c.ok);
        EXPECT_EQ(GetCapturedStderr(), c.message);
        writer.join();
        if (c.ok) {
            EXPECT_EQ(Bytes(im.data, im.data + 16), plain.pixels);
        }
    }
}

TEST_F(Bmp, RowsWhosePitchDiffersFromTheFileRow) {
    // 3 pixels of 24 bits: 9 bytes of pixels, 12-byte BMP rows.
    for (const uint32_t pitch : {9u, 10u, 16u}) {
        for (const bool bottomUp : {false, true}) {
            SCOPED_TRACE(testing::Message() << "pitch " << pitch << " bottomUp " << bottomUp);
            Bytes pixels = Pattern(pitch * 2, 40);  // exactly the block, so ASan sees overreads
            const PIXELFORMAT f = {24, 0xFF0000, 0xFF00, 0xFF, 0};
            Image im;
            ASSERT_TRUE(im.Create(3, 2, pitch, &f, pixels.data()));
            ASSERT_TRUE(im.Save(Path("q.bmp").c_str(), bottomUp));
            const Bytes b = ReadAll(dir / "q.bmp");
            ASSERT_EQ(b.size(), 54u + 24u);
            EXPECT_EQ(U32(b, 34), 24u);  // pixel bytes actually in the file
            for (uint32_t fileRow = 0; fileRow < 2; ++fileRow) {
                const uint32_t y = bottomUp ? fileRow : 1 - fileRow;
                Bytes expected(pixels.begin() + y * pitch,
                               pixels.begin() + y * pitch + std::min(pitch, 12u));
                expected.resize(12, 0);  // zero padding where the row is shorter
                EXPECT_EQ(Bytes(b.begin() + 54 + fileRow * 12, b.begin() + 54 + fileRow * 12 + 12),
                          expected);
            }
            // Reading back into the same short rows stays within them.
            BMP_INFOHEADER ih = {};
            ih.biHeight = 2;
            FILE* in = fopen(Path("q.bmp").c_str(), "rb");
            ASSERT_NE(in, nullptr);
            fseek(in, 54, SEEK_SET);
            const Bytes before = pixels;
            EXPECT_TRUE(im.ReadBMPPixels(in, &ih, !bottomUp));
            fclose(in);
            EXPECT_EQ(pixels, before);
        }
    }
}

TEST_F(Bmp, UnwritableImagesLeaveNoFile) {
    WriteAll(dir / "keep.bmp", {'o', 'l', 'd'});
    struct Case {
        const char* name;
        uint32_t bpp;
        const char* message;
    };
    for (const Case c : {Case{"2-bit", 2, "Image::Save() failure: BMPHeaders() error\n"},
                         Case{"no pixels", 0, "Image::Save() failure: no image data\n"}}) {
        SCOPED_TRACE(c.name);
        Image im;
        if (c.bpp != 0) {
            ASSERT_TRUE(im.Create(4, 4, c.bpp));
        }
        for (const char* name : {"new.bmp", "keep.bmp"}) {
            CaptureStderr();
            EXPECT_FALSE(im.Save(Path(name).c_str(), true));
            EXPECT_EQ(GetCapturedStderr(), c.message);
        }
        EXPECT_EQ(Names(dir), std::vector<std::string>{"keep.bmp"});
        EXPECT_EQ(ReadAll(dir / "keep.bmp"), (Bytes{'o', 'l', 'd'}));
    }
}

TEST_F(Bmp, SaveReplacesExistingFileWhole) {
    WriteAll(dir / "x.bmp", Bytes(5000, 0x11));  // longer than the new file
    fs::permissions(dir / "x.bmp", fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_read);
    fs::create_symlink("x.bmp", dir / "link.bmp");
    Image im;
    ASSERT_TRUE(im.Create(2, 2, 24));
    ASSERT_TRUE(im.Clear());
    ASSERT_TRUE(im.Save(Path("link.bmp").c_str(), true));  // through the link
    EXPECT_TRUE(fs::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(ReadAll(dir / "x.bmp").size(), 70u);
    EXPECT_EQ(fs::status(dir / "x.bmp").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"link.bmp", "x.bmp"}));  // no temporary left
}

TEST_F(Bmp, SaveWhereNoFileCanBeMade) {
    Image im;
    ASSERT_TRUE(im.Create(2, 2, 24));
    std::vector<std::string> targets = {Path("no/such/folder.bmp"), dir.string()};
    if (fs::exists("/proc/self")) targets.push_back("/proc/lumivor-test.bmp");
    if (geteuid() != 0) {  // permissions do not bind the superuser
        fs::create_directory(dir / "ro");
        WriteAll(dir / "ro.bmp", {'o', 'l', 'd'});
        fs::permissions(dir / "ro.bmp", fs::perms::owner_read);
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        targets.push_back(Path("ro/a.bmp"));
        targets.push_back(Path("ro.bmp"));
    }
    for (const std::string& t : targets) {
        SCOPED_TRACE(t);
        CaptureStderr();
        EXPECT_FALSE(im.Save(t.c_str(), false));
        EXPECT_EQ(GetCapturedStderr(), "Image::Save() failure: can not open file\n");
    }
    if (geteuid() != 0) {
        EXPECT_TRUE(fs::is_empty(dir / "ro"));
        EXPECT_EQ(ReadAll(dir / "ro.bmp"), (Bytes{'o', 'l', 'd'}));
    }
    CaptureStderr();
    EXPECT_FALSE(im.Save(nullptr, false));
    EXPECT_EQ(GetCapturedStderr(), "Image::Save() failure: can not open file\n");
}

TEST_F(Bmp, DevicesAreWrittenDirectly) {
    if (!fs::is_character_file("/dev/full") || !fs::is_character_file("/dev/null")) {
        GTEST_SKIP() << "no /dev/full or /dev/null";
    }
    Image small, large;
    ASSERT_TRUE(small.Create(2, 2, 24));
    ASSERT_TRUE(large.Create(200, 200, 24));  // more than one stream buffer
    ASSERT_TRUE(small.Clear());
    ASSERT_TRUE(large.Clear());
    EXPECT_TRUE(small.Save("/dev/null", true));

    CaptureStderr();
    EXPECT_FALSE(small.Save("/dev/full", true));  // the write fails only when flushed
    EXPECT_EQ(GetCapturedStderr(), "Image::Save() failure: fclose() error\n");
    CaptureStderr();
    EXPECT_FALSE(large.Save("/dev/full", false));
    EXPECT_EQ(GetCapturedStderr(), "Image::Save() failure: WriteBMPPixels() error\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// Runs in a child process: a file size limit makes the write fail half-way.
void SaveUnderFileSizeLimit(const std::string& path) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit lim = {};
    lim.rlim_cur = lim.rlim_max = 1000;
    setrlimit(RLIMIT_FSIZE, &lim);
    Image im;
    const bool ok = im.Create(100, 100, 24) && im.Clear() && im.Save(path.c_str(), true);
    exit(ok ? 1 : 0);
}

// A failed write keeps the old file and leaves no temporary file behind.
TEST_F(Bmp, FailedWriteKeepsExistingFile) {
    WriteAll(dir / "keep.bmp", {'o', 'l', 'd'});
    EXPECT_EXIT(SaveUnderFileSizeLimit(Path("keep.bmp")), testing::ExitedWithCode(0),
                "Image::Save\\(\\) failure: WriteBMPPixels\\(\\) error\n");
    EXPECT_EQ(ReadAll(dir / "keep.bmp"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"keep.bmp"});
}

TEST_F(Bmp, StreamOperationsRefuseWhatDoesNotFit) {
    Image im;
    ASSERT_TRUE(im.Create(2, 2, 4));  // a table of 16 entries
    BMP_FILEHEADER fh;
    BMP_INFOHEADER ih;
    EXPECT_FALSE(im.BMPHeaders(nullptr, &ih));
    EXPECT_FALSE(im.BMPHeaders(&fh, nullptr));
    ASSERT_TRUE(im.BMPHeaders(&fh, &ih));
    EXPECT_EQ(ih.biClrUsed, 16u);
    EXPECT_EQ(fh.bfOffBits, 54u + 64u);

    FILE* f = fopen(Path("s.bin").c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    ih.biClrUsed = 17;  // more than the image's table holds
    EXPECT_FALSE(im.WriteBMPPalette(f, &ih));
    ih.biClrUsed = 0;
    ih.biBitCount = 8;  // 256 entries announced
    EXPECT_FALSE(im.WriteBMPPalette(f, &ih));
    const Bytes big(2048, 0x44);
    fwrite(big.data(), 1, big.size(), f);
    rewind(f);
    const uint32_t kept = im.palette[15];
    EXPECT_FALSE(im.ReadBMPPalette(f, &ih));
    EXPECT_EQ(im.palette[15], kept);
    ih.biBitCount = 4;
    EXPECT_TRUE(im.ReadBMPPalette(f, &ih));
    EXPECT_EQ(im.palette[15], 0x44444444u);
    fclose(f);

    // A header whose file size would not fit in 32 bits is refused.
    uint8_t byte = 0;
    const PIXELFORMAT f32 = {32, 0xFF0000, 0xFF00, 0xFF, 0};
    Image wide;
    ASSERT_TRUE(wide.Create(1, 0x3FFFFFF0u, 4, &f32, &byte));
    EXPECT_TRUE(wide.BMPHeaders(&fh, &ih));
    EXPECT_EQ(fh.bfSize, 0xFFFFFFC0u + 54u);
    ASSERT_TRUE(wide.Create(1, 0x3FFFFFFFu, 4, &f32, &byte));
    EXPECT_FALSE(wide.BMPHeaders(&fh, &ih));
}

}  // namespace
