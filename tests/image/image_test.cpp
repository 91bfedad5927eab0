// The image room: rasters and their palettes, BMP files, and the one suite of the file writer,
// through which every file the program writes goes: each kind of target, the failures, other
// users' files and signals during a save. The fuzz target takes the same kinds of target; the
// command line's test, `lumivor render`'s outputs.
#include "image/image.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "image/file_writer.h"
#include "tests/support/child.h"
#include "tests/support/write_target.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Rows padded to 4 bytes (ASan checks the block); grey tables of 2 and 256 entries;
// SetPalette bounds, also when first + count wraps in 32 bits; a grey table of one entry.
TEST(Image, PitchAndPalettes) {
    Image im;
    ASSERT_TRUE(im.Create(5, 1, 1) && im.pitch == 4 && im.palette[1] == 0xFFFFFF);
    ASSERT_TRUE(im.Create(8, 8, 8) && im.pitch == 8 && im.palette[200] == 200 * 0x010101u);
    ASSERT_TRUE(im.Create(3, 2, 24) && im.pitch == 12 && im.palette == nullptr);
    memset(im.data, 0, 24);
    uint32_t colours[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(im.Create(4, 4, 4));
    EXPECT_TRUE(im.SetPalette(colours, 10, 6) && im.palette[10] == 1 && im.palette[15] == 6);
    CaptureStderr();
    EXPECT_FALSE(im.SetPalette(colours, 10, 7) || im.SetPalette(colours, 0xFFFFFFFFu, 2));
    EXPECT_EQ(GetCapturedStderr(),
              "Image::SetPalette() failure: too many colors\n"
              "Image::SetPalette() failure: too many colors\n");
    EXPECT_TRUE(im.GrayPalette(colours, 1) && colours[0] == 0 && colours[1] == 2);
}

// Refusals: message, false, image left empty (sizes wrapping in 32 bits too); null: accepted.
TEST(Image, CreateRefusals) {
    const struct {
        uint32_t w, h, pitch;
        PIXELFORMAT f;
        const char* message;
    } cases[] = {{4, 4, 16, {0, 0, 0, 0, 0}, "unsupported bits per pixel"},
                 {10, 2, 29, {24, 0xFF0000, 0xFF00, 0xFF, 0}, "pitch too small"},
                 {10, 2, 30, {24, 0xFF0000, 0xFF00, 0xFF, 0}, nullptr},
                 {4, 4, 4, {8, 0xE0, 0x1C, 0x03, 0}, nullptr},  // no table
                 {4, 4, 8, {12, 0, 0, 0, 0}, "unsupported palettized image bpp"},
                 {4, 4, 8, {16, 0x0100, 0x0100, 0, 0}, "argb masks overlap"},
                 {4, 4, 8, {16, 0x10000, 0, 0, 0}, "wrong rgba masks for bpp"},
                 {0x80000000u, 1, 0x10000000u, {8, 0, 0, 0, 0}, "image too large"},
                 {16, 0x10000001u, 16, {8, 0, 0, 0, 0}, "image too large"}};
    const std::string fail = "Image::Create() failure: ";
    for (const auto& c : cases) {
        Image im;
        ASSERT_TRUE(im.Create(3, 2, 24));
        CaptureStderr();
        EXPECT_EQ(im.Create(c.w, c.h, c.pitch, &c.f, nullptr), c.message == nullptr);
        EXPECT_EQ(GetCapturedStderr(), c.message ? fail + c.message + "\n" : "");
        EXPECT_TRUE(im.palette == nullptr && (im.data == nullptr) == (c.message != nullptr));
    }
    Image im;
    CaptureStderr();
    EXPECT_TRUE(im.Create(3, 2, 24) && !im.Create(4, 4, 12) && im.width == 3 && im.data);
    EXPECT_FALSE(im.Create(0x10000u, 0x10000u, 8) || im.Create(1, 1, 4, nullptr, nullptr));
    EXPECT_EQ(GetCapturedStderr(), fail + "unsupported bits per pixel\n" + fail +
                                       "image too large\n" + fail + "no pixel format\n");
}

// The widest values are cut to the 256-character text, not written past it.
TEST(Image, InfoStringIsCut) {
    Image im;
    im.width = im.height = im.pitch = im.format.bpp = im.srcColorKey = im.dstColorKey = 0xFFFFFFFFu;
    const std::string text = im.InfoString();
    EXPECT_EQ(text.size(), 255u);
    EXPECT_EQ(text.substr(29, 71),
              "width 4294967295, height 4294967295, pitch 4294967295, bpp 4294967295 \n");
}

static const TempFolder tmp;  // ctest runs each test in a process of its own
static std::string Saved(Image& im, const char* name, bool bottomUp = true) {
    return im.Save((tmp / name).c_str(), bottomUp) ? ReadFile(tmp / name) : "";
}
static std::string With(std::string b, size_t at, uint32_t v, int n = 4) {
    for (int i = 0; i < n; ++i) b[at + size_t(i)] = char(v >> 8 * i);
    return b;
}

// Rows come back in order when the flags differ, mirrored when equal or for a top-down file;
// 24-bit rows given without padding are saved padded, not over-read; 32-bit rows load too.
TEST(Bmp, RoundTrips) {
    const PIXELFORMAT rgb = {24, 0xFF0000, 0xFF00, 0xFF, 0};
    uint8_t tight[39 * 4];  // 13 pixels in 39 bytes a row; BMP rows take 40
    for (int k = 0; k < 32; ++k) {
        const uint32_t bpp = k < 8 ? 1 : k < 16 ? 8 : k < 24 ? 24 : 32, n = (13 * bpp + 7) / 8;
        const bool bottomUp = k & 1, topDown = k & 2, negative = k & 4;
        Image src, dst;
        ASSERT_TRUE(bpp == 24 ? src.Create(13, 4, 39, &rgb, tight) : src.Create(13, 4, bpp));
        for (uint32_t i = 0; i < src.pitch * 4; ++i) src.data[i] = uint8_t(i * 7 + 1);
        if (src.palette != nullptr) src.palette[1] = 0xABCDEF;
        const std::string file = Saved(src, "r.bmp", bottomUp);
        WriteFile(tmp / "r.bmp", negative ? With(file, 22, uint32_t(-4)) : file);
        ASSERT_TRUE(dst.Load((tmp / "r.bmp").c_str(), topDown) && dst.width == 13 &&
                    dst.height == 4);
        const bool same = (bottomUp != topDown) != negative;
        for (uint32_t y = 0; y < 4; ++y) {
            const uint8_t* from = src.data + (same ? y : 3 - y) * src.pitch;
            EXPECT_EQ(memcmp(dst.data + y * dst.pitch, from, n), 0) << k << " " << y;
        }
        EXPECT_TRUE(bpp >= 24 ? dst.palette == nullptr && dst.format.bpp == bpp
                              : dst.palette[1] == 0xABCDEF && dst.format.bpp == bpp);
    }
}

// Whole headers of the 70-byte 2 x 2 24-bit file and the 1082-byte 4 x 1 8-bit one; files made
// from them malformed: message, false, image untouched or (bpp column) created with their size.
TEST(Bmp, LayoutsAndMalformedFiles) {
    Image rgb, grey;
    ASSERT_TRUE(rgb.Create(2, 2, 24) && grey.Create(4, 1, 8) && grey.Clear());
    for (int i = 0; i < 16; ++i) rgb.data[i] = uint8_t(0xA0 + i);
    grey.palette[5] = 0x112233;
    const struct {
        size_t at;
        int n;
        uint32_t rgb, grey;
    } fields[] = {{0, 2, 0x4D42, 0x4D42}, {2, 4, 70, 1082},    {10, 4, 54, 1078},
                  {14, 4, 40, 40},        {18, 4, 2, 4},       {22, 4, 2, 1},
                  {26, 2, 1, 1},          {28, 2, 24, 8},      {34, 4, 16, 4},
                  {38, 4, 3000, 3000},    {42, 4, 3000, 3000}, {46, 4, 0, 256}};  // all else 0
    std::string a(54, '\0'), p(54, '\0');
    for (const auto& f : fields) a = With(a, f.at, f.rgb, f.n), p = With(p, f.at, f.grey, f.n);
    const std::string r = Saved(rgb, "a.bmp"), g = Saved(grey, "p.bmp", false);
    EXPECT_EQ(r, a + std::string(rgb.data, rgb.data + 16));  // rows padded to 8, as they stand
    EXPECT_EQ(g.substr(0, 54) + g.substr(74, 4) + g.substr(1078),  // table entry 5, pixels
              p + std::string("\x33\x22\x11\0\0\0\0\0", 8));
    const struct {
        std::string file;
        const char* message;
        uint32_t bpp = 0;
    } cases[] = {{r.substr(0, 53), ".bmp header read error\n"},
                 {With(r, 0, 'B' | 'N' << 8, 2), "not a .bmp file\n"},
                 {With(r, 30, 1), "compression not supported\n"},
                 {With(r, 10, 20), "pixel data offset 20 lies inside the 54 header bytes\n"},
                 {With(g, 10, 1000), "pixel data offset 1000 lies inside the 1078 header bytes\n"},
                 {With(r, 14, 64), "unknown header size 64\n"},
                 {With(r, 30, 3), "bit fields at 24 bits a pixel\n"},
                 {With(r, 28, 2, 2), "unsupported color depth\n"},
                 {With(r, 18, ~0u), "image too large\n"},
                 {With(g, 46, 257), "color table too large\n"},
                 {g.substr(0, 1000), "ReadBMPPalette() error\n"},
                 {r.substr(0, r.size() - 1), "ReadBMPPixels() error\n"},
                 {With(r, 10, ~0u), "ReadBMPPixels() error\n"},
                 {With(r, 28, 4, 2), "4 bpp not yet supported\n", 4}};
    for (const auto& c : cases) {
        WriteFile(tmp / "m.bmp", c.file);
        CaptureStderr();
        EXPECT_FALSE(grey.Load((tmp / "m.bmp").c_str(), true));  // the created rows come last
        EXPECT_EQ(GetCapturedStderr(), std::string("Image::Load() failure: ") + c.message);
        EXPECT_TRUE(c.bpp == 0 ? grey.width == 4 && grey.palette[5] == 0x112233
                               : grey.width == 2 && grey.height == 2 && grey.format.bpp == c.bpp);
    }
    int fds[2];  // a pipe cannot seek: pixels said to lie 4 bytes further on are refused
    ASSERT_EQ(pipe(fds), 0);
    const std::string gap = With(r, 10, 58) + "tail";
    ASSERT_EQ(write(fds[1], gap.data(), gap.size()), ssize_t(gap.size()));
    close(fds[1]);
    CaptureStderr();
    EXPECT_FALSE(grey.Load(("/proc/self/fd/" + std::to_string(fds[0])).c_str(), true));
    EXPECT_EQ(GetCapturedStderr(), "Image::Load() failure: cannot seek to pixel data\n");
    close(fds[0]);
}

// Failed saves report with the reason and make no file (what the writer keeps and removes
// on a failure is checked in its tests below).
TEST(Bmp, FailedSavesSayWhy) {
    Image none, two, im;
    ASSERT_TRUE(two.Create(4, 4, 2) && im.Create(20, 20, 24) && im.Clear());
    CaptureStderr();
    // /dev/full fails at the final flush; the last load finds that no file was made.
    EXPECT_FALSE(none.Save((tmp / "new.bmp").c_str(), true) ||
                 two.Save((tmp / "new.bmp").c_str(), true) ||
                 im.Save((tmp / "no/such/folder.bmp").c_str(), true) ||
                 im.Save("/dev/full", false) || im.Load((tmp / "new.bmp").c_str(), false));
    const std::string fail = "Image::Save() failure: ";
    EXPECT_EQ(GetCapturedStderr(),
              fail + "no image data\n" + fail + "BMPHeaders() error\n" + fail +
                  "can not open file\nImage::Save() fopen(): No such file or directory\n" + fail +
                  "fclose() error\nImage::Save() fwrite(): No space left on device\n" +
                  "Image::Load() failure: cannot open " + (tmp / "new.bmp") + "\n");
}

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string Failed(const char* call, int err) {
    return std::string(call) + ": " + std::strerror(err);
}

// Writes text through a FileWriter; "" when it succeeds, else the failed call and reason.
std::string Save(const std::string& path, const std::string& text) {
    FileWriter out;
    const bool saved =
        out.Open(path.c_str()) && (std::fputs(text.c_str(), out.Stream()), out.Commit());
    return saved ? "" : Failed(out.FailedCall(), out.Error());
}

// More than stdio's buffer, with zero bytes: several writes; small enough for a pipe.
TEST(FileWriter, EveryKindOfTargetGetsItsBytesAndNoTemporaryStays) {
    std::string bytes(10000, 'b');
    bytes[7] = bytes[5000] = '\0';
    const mode_t old_mask = umask(027);
    for (int kind = 0; kind < kWriteKinds; ++kind) {
        for (const bool give_up : {false, true}) {
            TempFolder dir;
            EXPECT_EQ(SaveAndCheck(WriteKind(kind), dir.path, 0604, bytes, give_up), "")
                << "kind " << kind << (give_up ? ", given up" : "");
        }
    }
    umask(old_mask);
    TempFolder dir;  // standard output appending to a log, as after `>> log`
    WriteFile(dir / "log", "head\n");
    EXPECT_EQ(InChild([&] {
                  const int log = open((dir / "log").c_str(), O_WRONLY | O_APPEND);
                  return log >= 0 && dup2(log, 1) == 1 && Save("/dev/stdout", "tail").empty();
              }),
              0);
    EXPECT_EQ(ReadFile(dir / "log"), "head\ntail");
}

// Failures name the call and the system's reason; a file that cannot be completed keeps its
// old bytes and leaves no temporary. The early check refuses without touching anything, and
// never waits for a FIFO's reader.
TEST(FileWriter, FailuresNameTheCallAndReasonAndLoseNothing) {
    TempFolder dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "keep", "old");
    const struct {
        std::string path;
        int refused;       // the early check's reason, or 0
        std::string save;  // the save's failed call and reason ("": not saved)
    } cases[] = {
        {dir / "no/such", ENOENT, Failed("fopen", ENOENT)},
        {dir.path, EISDIR, Failed("fopen", EISDIR)},
        {"", ENOENT, Failed("fopen", ENOENT)},
        {dir / std::string(300, 'x'), ENAMETOOLONG, Failed("fopen", ENAMETOOLONG)},
        {"/dev/full", 0, Failed("fwrite", ENOSPC)},
        {dir / "keep", 0, Failed("fwrite", EFBIG)},  // past the file size limit below
        {dir / "fifo", 0, ""},
    };
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit = {4096, old.rlim_max};  // a full file system, for files alone
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(CheckWritable(c.path.c_str(), &reason) ? "" : reason,
                  c.refused ? std::strerror(c.refused) : "")
            << c.path;
        if (!c.save.empty()) {
            EXPECT_EQ(Save(c.path, std::string(10000, 'x')), c.save) << c.path;
        }
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ReadFile(dir / "keep"), "old");
    EXPECT_EQ(Entries(dir.path), 2);
}

// As another user: a file its owner made read-only is refused with the reason and kept; a
// writable file in a folder the user cannot write is written in place. Root may replace the
// read-only file, which keeps its owner and mode.
TEST(FileWriter, OtherUsersFilesKeepTheirProtectionOwnerAndMode) {
    TempFolder dir;
    const std::string prot = dir / "protected", open_file = dir / "closed/open";
    fs::create_directory(dir / "closed");
    WriteFile(prot, "keep");
    WriteFile(open_file, "old");
    const uid_t user = geteuid() == 0 ? kNobody : geteuid();
    for (const std::string& p : {dir.path, prot, open_file})
        ASSERT_EQ(chown(p.c_str(), user, -1), 0);
    ASSERT_EQ(chmod(prot.c_str(), 0444), 0);
    ASSERT_EQ(chmod((dir / "closed").c_str(), 0555), 0);
    const int held = open(open_file.c_str(), O_RDONLY | O_CLOEXEC);  // sees only in-place writes
    EXPECT_EQ(InChild([&] {
                  if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                      return false;
                  std::string reason;
                  return !CheckWritable(prot.c_str(), &reason) && reason == std::strerror(EACCES) &&
                         Save(prot, "lost") == Failed("fopen", EACCES) &&
                         CheckWritable(open_file.c_str(), &reason) &&
                         !CheckWritable((dir / "closed/new").c_str(), &reason) &&
                         Save(open_file, "new").empty();
              }),
              0);
    EXPECT_EQ(ReadFile(prot), "keep");
    EXPECT_EQ(ReadFile("/proc/self/fd/" + std::to_string(held)), "new");
    close(held);
    chmod((dir / "closed").c_str(), 0755);
    EXPECT_EQ(Entries(dir / "closed"), 1);
    if (geteuid() != 0) return;
    EXPECT_EQ(Save(prot, "root's"), "");
    struct stat st {};
    ASSERT_EQ(stat(prot.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// A writer between Open and Commit when `sig` arrives, in a child process where `handler` is
// the signal's action; gives how the child ended (0: it saved and the action is back).
int SaveInterrupted(const TempFolder& dir, int sig, void (*handler)(int)) {
    WriteFile(dir / "target", "old");
    return InChild([&] {
        std::signal(sig, handler);
        FileWriter out;
        const bool saved = out.Open((dir / "target").c_str()) &&
                           std::fputs("new", out.Stream()) >= 0 && raise(sig) == 0 && out.Commit();
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        return saved && now.sa_handler == handler;
    });
}

// A signal that ends the process removes the temporary first and the old file stays; one the
// program handles (a stop flag) or ignores keeps its action and the save completes.
TEST(FileWriter, SignalsDuringASaveLeaveNoTemporary) {
    TempFolder dir;
    void (*const stop_flag)(int) = [](int) {};  // a handler of the program's own
    for (const auto& [sig, handler] : {std::pair{SIGINT, SIG_DFL},
                                       {SIGTERM, SIG_DFL},
                                       {SIGHUP, SIG_DFL},
                                       {SIGTERM, stop_flag},
                                       {SIGHUP, SIG_IGN}}) {
        const bool ends = handler == SIG_DFL;
        EXPECT_EQ(SaveInterrupted(dir, sig, handler), ends ? -sig : 0) << sig;
        EXPECT_EQ(ReadFile(dir / "target"), ends ? "old" : "new");
        EXPECT_EQ(Entries(dir.path), 1);
    }
}

}  // namespace
