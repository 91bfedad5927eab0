// Saving and loading habitat files on the real file system.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "colour/hsl.h"
#include "tests/habitat/habitat_test_util.h"
#include "world/biotope.h"

namespace {

// Rows of a packed raster in reverse order.
std::string FlipRows(const std::string& cells, uint32_t w, uint32_t h) {
    std::string out;
    const size_t row = static_cast<size_t>(w) * 3;
    for (uint32_t y = h; y-- > 0;) out += cells.substr(y * row, row);
    return out;
}

// Pixel bytes that never look like header text.
std::string Pixels(size_t n) {
    std::string px;
    for (size_t i = 0; i < n; ++i) px += static_cast<char>(0x80 + (i * 7) % 0x70);
    return px;
}

class HabitatFileTest : public testing::Test {
protected:
    // A w x h habitat with a cell pattern and its HSL, created quietly.
    void MakeHabitat(uint32_t w, uint32_t h, uint32_t salt = 0) {
        CaptureVoid([&] {
            ASSERT_TRUE(world.CreateHabitat(w, h));
            FillPattern(world.rgb_habitat, salt);
            world.HabitatRGBtoHSL(&world.rgb_habitat, &world.hsl_habitat);
        });
    }

    Captured<bool> Load(const std::string& path, bool topDown) {
        return Capture([&] { return world.LoadHabitat(path.c_str(), topDown); });
    }
    Captured<bool> Save(const std::string& path, bool topDown) {
        return Capture([&] { return world.SaveHabitat(path.c_str(), topDown); });
    }

    // The HSL habitat holds the conversion of every display cell.
    void ExpectHSLMatchesRGB() {
        const size_t n = static_cast<size_t>(world.rgb_habitat.width) * world.rgb_habitat.height;
        const auto* rgb = reinterpret_cast<const RGB_888*>(world.rgb_habitat.data);
        const auto* hsl = reinterpret_cast<const HSL_888*>(world.hsl_habitat.data);
        for (size_t i = 0; i < n; ++i) {
            HSL_888 want;
            RGBtoHSL(&rgb[i], &want);
            ASSERT_EQ(hsl[i].h, want.h) << "cell " << i;
            ASSERT_EQ(hsl[i].s, want.s) << "cell " << i;
            ASSERT_EQ(hsl[i].l, want.l) << "cell " << i;
        }
    }

    TempFolder dir;
    Biotope world;
};

TEST_F(HabitatFileTest, SavesTwoByOneAsThirtyOneBytes) {
    MakeHabitat(2, 1);
    const uint8_t cells[6] = {1, 2, 3, 0x0a, 0x23, 0};
    std::copy(cells, cells + 6, world.rgb_habitat.data);
    const std::string path = dir.File("two.ppm");

    const auto r = Save(path, false);

    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.out, "Biotope::SaveHabitat(" + path + ")\n");
    EXPECT_EQ(r.err, "");
    const std::string want("P6\n#quib habitat\n2 1\n255\n\x01\x02\x03\x0a\x23\x00", 31);
    EXPECT_EQ(ReadFile(path), want);
}

TEST_F(HabitatFileTest, SavesRowsInTheChosenOrder) {
    MakeHabitat(5, 3);
    const std::string cells = Cells(world.rgb_habitat);
    const std::string path = dir.File("rows.ppm");

    ASSERT_TRUE(Save(path, true).result);
    EXPECT_EQ(ReadFile(path), PPM(5, 3, cells));  // habitat row 0 first
    ASSERT_TRUE(Save(path, false).result);
    EXPECT_EQ(ReadFile(path), PPM(5, 3, FlipRows(cells, 5, 3)));  // top of the screen first
}

TEST_F(HabitatFileTest, RoundTripsInEveryRowOrder) {
    struct Case {
        bool save_top_down, load_top_down;
    };
    const Case cases[] = {{false, false}, {true, true}, {false, true}, {true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "save " << c.save_top_down << " load " << c.load_top_down);
        MakeHabitat(5, 3);  // 3 x width is not a multiple of 4
        const std::string cells = Cells(world.rgb_habitat);
        const std::string path = dir.File("trip.ppm");
        ASSERT_TRUE(Save(path, c.save_top_down).result);
        CaptureVoid([&] {
            const RGB_888 grey = {9, 9, 9};
            world.ClearHabitat(&grey);
        });

        const auto r = Load(path, c.load_top_down);

        EXPECT_TRUE(r.result);
        EXPECT_EQ(r.out, "Biotope::LoadHabitat(" + path + ")\n");
        EXPECT_EQ(r.err, "5 x 3\nBiotope::HabitatRGBtoHSL() : done\n");
        const bool same = c.save_top_down == c.load_top_down;
        EXPECT_EQ(Cells(world.rgb_habitat), same ? cells : FlipRows(cells, 5, 3));
        ExpectHSLMatchesRGB();
    }
}

TEST_F(HabitatFileTest, ReloadsAReferenceRunByteForByte) {
    const std::string golden =
        std::string(LUMIVOR_GOLDEN_DIR) + "/p0-s1765000000-160x120-t2.ppm";
    const std::string bytes = ReadFile(golden);
    if (bytes.empty()) GTEST_SKIP() << "no reference file " << golden;
    MakeHabitat(160, 120);

    ASSERT_TRUE(Load(golden, false).result);
    const std::string path = dir.File("again.ppm");
    ASSERT_TRUE(Save(path, false).result);

    EXPECT_EQ(ReadFile(path), bytes);
    ExpectHSLMatchesRGB();
}

TEST_F(HabitatFileTest, AcceptsCommentsBeforeTheSizeAndBeforeTheMaxval) {
    const std::string px = Pixels(640 * 480 * 3);
    const std::string path = dir.File("commented.ppm");
    WriteFile(path, "P6\n# one\n# two\n640 480\n# three\n255\n" + px);

    MakeHabitat(640, 480);
    const auto ok = Load(path, true);
    EXPECT_TRUE(ok.result);
    EXPECT_EQ(ok.err, "640 x 480\nBiotope::HabitatRGBtoHSL() : done\n");
    EXPECT_EQ(Cells(world.rgb_habitat), px);

    MakeHabitat(640, 400);
    const std::string before = Cells(world.rgb_habitat);
    const auto refused = Load(path, true);
    EXPECT_FALSE(refused.result);
    EXPECT_EQ(refused.err, "incompatible size : habitat 640 x 400, file 640 x 480\n");
    EXPECT_EQ(Cells(world.rgb_habitat), before);
}

// Headers that follow the grammar, with what the habitat then holds
// (file rows in habitat order).
TEST_F(HabitatFileTest, AcceptsHeadersThatFollowTheGrammar) {
    const std::string px = Pixels(36);
    const std::string spaces130(130, ' ');
    struct Case {
        const char* name;
        std::string file;
        std::string cells;
    };
    const Case cases[] = {
        {"maxval 65535, samples still bytes", "P6\n4 3\n65535\n" + px, px},
        {"maxval 0", "P6\n4 3\n0\n" + px, px},
        {"maxval -1", "P6\n4 3\n-1\n" + px, px},
        {"text after the magic", "P6 any text\n4 3\n255\n" + px, px},
        {"text after size and maxval", "P6\n4 3 # size\n255 # max\n" + px, px},
        {"blanks and tabs around the size", "P6\n  4\t 3\n255\n" + px, px},
        {"CR LF line ends", "P6\r\n4 3\r\n255\r\n" + px, px},
        {"comment of 126 characters", "P6\n#" + std::string(125, 'c') + "\n4 3\n255\n" + px, px},
        {"bytes after the pixels", "P6\n4 3\n255\n" + px + "tail", px},
        // Comments after the maxval line are pixel bytes.
        {"comment after the maxval", "P6\n4 3\n255\n#c\n" + px.substr(0, 33), "#c\n" + px.substr(0, 33)},
        // The first 127 characters are the maxval line; the rest of it is pixel data.
        {"maxval line of 134 characters", "P6\n4 3\n255" + spaces130 + "\n" + px,
         std::string(6, ' ') + "\n" + px.substr(0, 29)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeHabitat(4, 3);
        const std::string path = dir.File("ok.ppm");
        WriteFile(path, c.file);

        const auto r = Load(path, true);

        EXPECT_TRUE(r.result);
        EXPECT_EQ(r.err, "4 x 3\nBiotope::HabitatRGBtoHSL() : done\n");
        EXPECT_EQ(Cells(world.rgb_habitat), c.cells);
        ExpectHSLMatchesRGB();
    }
}

TEST_F(HabitatFileTest, RefusesMalformedFilesAndKeepsTheHabitat) {
    const std::string px = Pixels(36);
    const std::string header = "P6\n4 3\n255\n";
    const std::string spaces130(130, ' ');
    const std::string invalid00 = "invalid size (0 x 0)\n";
    const std::string no_maxval = "invalid maxval (0)\n";
    const std::string no_ppm = "unsupported file format (no .ppm)\n";
    struct Case {
        const char* name;
        std::string file;
        std::string err;
    };
    const Case cases[] = {
        {"empty", "", no_ppm},
        {"magic P5", "P5\n4 3\n255\n" + px, no_ppm},
        {"magic p6", "p6\n4 3\n255\n" + px, no_ppm},
        {"comment before the magic", "#c\n" + header + px, no_ppm},
        {"magic only", "P6\n", invalid00},
        {"magic without newline", "P6", invalid00},
        {"comments, then the end", "P6\n#a\n#b\n", invalid00},
        {"width only", "P6\n4\n255\n" + px, "invalid size (4 x 0)\n"},
        {"size written 4x3", "P6\n4x3\n255\n" + px, "invalid size (4 x 0)\n"},
        {"size in words", "P6\nfour three\n255\n" + px, invalid00},
        {"NUL inside the size line", "P6\n4" + std::string(1, '\0') + " 3\n255\n" + px,
         "invalid size (4 x 0)\n"},
        {"indented comment", "P6\n #c\n4 3\n255\n" + px, invalid00},
        {"whole header on one line", "P6 4 3 255\n" + px, invalid00},
        {"comment of 127 characters", "P6\n#" + std::string(126, 'c') + "\n4 3\n255\n" + px,
         invalid00},
        {"comment of 150 characters", "P6\n#" + std::string(149, 'c') + "\n4 3\n255\n" + px,
         invalid00},
        {"size and maxval on one line", "P6\n4 3 255\n" + px, no_maxval},
        {"size line of 133 characters", "P6\n4 3" + spaces130 + "\n255\n" + px, no_maxval},
        {"no maxval", "P6\n4 3\n", no_maxval},
        {"comment, then the end", "P6\n4 3\n#c\n", no_maxval},
        {"maxval in words", "P6\n4 3\nmax\n" + px, no_maxval},
        {"narrower", "P6\n3 3\n255\n" + px, "incompatible size : habitat 4 x 3, file 3 x 3\n"},
        {"transposed", "P6\n3 4\n255\n" + px, "incompatible size : habitat 4 x 3, file 3 x 4\n"},
        {"zero", "P6\n0 0\n255\n", "incompatible size : habitat 4 x 3, file 0 x 0\n"},
        {"negative", "P6\n-4 -3\n255\n" + px,
         "incompatible size : habitat 4 x 3, file -4 x -3\n"},
        {"huge", "P6\n2147483647 2147483647\n255\n" + px,
         "incompatible size : habitat 4 x 3, file 2147483647 x 2147483647\n"},
        // Beyond the int range: clamped, never wrapped round to the habitat's size.
        {"width 2^32 + 4", "P6\n4294967300 3\n255\n" + px,
         "incompatible size : habitat 4 x 3, file 2147483647 x 3\n"},
        {"width -(2^32) + 4", "P6\n-4294967292 3\n255\n" + px,
         "incompatible size : habitat 4 x 3, file -2147483648 x 3\n"},
        {"no pixels", header, "truncated pixel data (4 x 3)\n"},
        {"one row of pixels", header + px.substr(0, 12), "truncated pixel data (4 x 3)\n"},
        {"one byte short", header + px.substr(0, 35), "truncated pixel data (4 x 3)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeHabitat(4, 3);
        const std::string rgb = Cells(world.rgb_habitat);
        const std::string hsl = Cells(world.hsl_habitat);
        const std::string path = dir.File("bad.ppm");
        WriteFile(path, c.file);

        const auto r = Load(path, false);

        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.out, "Biotope::LoadHabitat(" + path + ")\n");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(Cells(world.rgb_habitat), rgb);
        EXPECT_EQ(Cells(world.hsl_habitat), hsl);
    }
}

TEST_F(HabitatFileTest, LoadReportsFilesThatCannotBeOpened) {
    MakeHabitat(4, 3);
    const std::string rgb = Cells(world.rgb_habitat);
    const std::string path = dir.File("missing.ppm");

    const auto r = Load(path, false);

    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.out, "Biotope::LoadHabitat(" + path + ")\n");
    EXPECT_EQ(r.err, "LoadHabitat() fopen(): No such file or directory\n");
    EXPECT_EQ(Cells(world.rgb_habitat), rgb);
}

TEST_F(HabitatFileTest, LoadAndSaveNeedAHabitat) {
    const std::string path = dir.File("h.ppm");
    WriteFile(path, PPM(1, 1, "abc"));

    const auto load = Load(path, false);
    EXPECT_FALSE(load.result);
    EXPECT_EQ(load.err, "Biotope::LoadHabitat() failure: no habitat\n");
    EXPECT_EQ(world.rgb_habitat.data, nullptr);

    const auto save = Save(dir.File("new.ppm"), false);
    EXPECT_FALSE(save.result);
    EXPECT_EQ(save.err, "Biotope::SaveHabitat() failure: no habitat\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"h.ppm"});
}

TEST_F(HabitatFileTest, SaveReportsTargetsThatCannotBeOpened) {
    MakeHabitat(4, 3);
    WriteFile(dir.File("plain"), "not a folder");
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
    struct Case {
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {dir.File("nowhere/h.ppm"), "No such file or directory"},
        {dir.File("plain/h.ppm"), "Not a directory"},
        {dir.File("folder"), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto r = Save(c.path, false);
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.out, "Biotope::SaveHabitat(" + c.path + ")\n");
        EXPECT_EQ(r.err, "could not open " + c.path + "\nSaveHabitat() fopen(): " + c.error + "\n");
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "plain"}));
    EXPECT_EQ(ReadFile(dir.File("plain")), "not a folder");
}

TEST_F(HabitatFileTest, SaveReportsAFullDevice) {
    struct stat st;
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
    MakeHabitat(4, 3);

    const auto r = Save("/dev/full", true);

    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.err, "could not write /dev/full\nSaveHabitat() fwrite(): No space left on device\n");
    // Written in place: the device is still the device.
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// Limits the size of files this process may write, for the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
    bool ok_ = false;
};

TEST_F(HabitatFileTest, FailedSaveLeavesTheGoodFileIntact) {
    MakeHabitat(64, 64);
    const std::string path = dir.File("good.ppm");
    ASSERT_TRUE(Save(path, false).result);
    const std::string good = ReadFile(path);
    ASSERT_EQ(good.size(), 17u + 6u + 4u + 64u * 64u * 3u);
    FillPattern(world.rgb_habitat, 99);

    Captured<bool> r{};
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        r = Save(path, false);
    }

    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.err, "could not write " + path + "\nSaveHabitat() fwrite(): File too large\n");
    EXPECT_EQ(ReadFile(path), good);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"good.ppm"});  // no temporary left
}

TEST_F(HabitatFileTest, SaveReplacesAFileAndKeepsItsMode) {
    MakeHabitat(3, 2);
    const std::string path = dir.File("h.ppm");
    const mode_t old_mask = umask(022);
    const bool saved_new = Save(path, true).result;
    umask(old_mask);
    ASSERT_TRUE(saved_new);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    FillPattern(world.rgb_habitat, 5);
    ASSERT_TRUE(Save(path, true).result);

    EXPECT_EQ(ReadFile(path), PPM(3, 2, Cells(world.rgb_habitat)));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"h.ppm"});
}

TEST_F(HabitatFileTest, SaveWritesThroughASymbolicLink) {
    MakeHabitat(3, 2);
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    WriteFile(dir.File("real/h.ppm"), "old");
    ASSERT_EQ(symlink("real/h.ppm", dir.File("link.ppm").c_str()), 0);

    ASSERT_TRUE(Save(dir.File("link.ppm"), true).result);

    struct stat st;
    ASSERT_EQ(lstat(dir.File("link.ppm").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(dir.File("real/h.ppm")), PPM(3, 2, Cells(world.rgb_habitat)));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.ppm", "real"}));
}

}  // namespace
