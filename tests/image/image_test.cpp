// Raster creation, validation messages, palettes and the info text.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/image.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::string Hex8(const void* p) {
    char s[16];
    snprintf(s, sizeof s, "%08X",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(p) & 0xFFFFFFFFu));
    return s;
}

// A created image with recognisable content, to show that it was not touched.
void MakeMarked(Image& im) {
    ASSERT_TRUE(im.Create(3, 2, 24));
    for (uint32_t i = 0; i < im.pitch * im.height; ++i) im.data[i] = static_cast<uint8_t>(i + 1);
}

void ExpectMarked(const Image& im) {
    ASSERT_NE(im.data, nullptr);
    EXPECT_EQ(im.width, 3u);
    EXPECT_EQ(im.height, 2u);
    EXPECT_EQ(im.format.bpp, 24u);
    for (uint32_t i = 0; i < im.pitch * im.height; ++i) {
        EXPECT_EQ(im.data[i], static_cast<uint8_t>(i + 1));
    }
}

void ExpectEmpty(const Image& im) {
    EXPECT_EQ(im.data, nullptr);
    EXPECT_EQ(im.palette, nullptr);
    EXPECT_EQ(im.width, 0u);
    EXPECT_EQ(im.height, 0u);
}

struct DefaultCase {
    uint32_t w, h, bpp;
    uint32_t pitch;
    PIXELFORMAT format;
    std::vector<uint32_t> table;  // expected colour table; empty: none
};

TEST(ImageCreate, DefaultFormatsPitchesAndTables) {
    std::vector<uint32_t> grey256(256), grey16(16);
    for (uint32_t i = 0; i < 256; ++i) grey256[i] = i * 0x010101u;
    for (uint32_t i = 0; i < 16; ++i) grey16[i] = i * 17 * 0x010101u;
    const DefaultCase cases[] = {
        {3, 2, 24, 12, {24, 0xFF0000, 0x00FF00, 0x0000FF, 0}, {}},
        {4, 2, 24, 12, {24, 0xFF0000, 0x00FF00, 0x0000FF, 0}, {}},
        {5, 1, 1, 4, {1, 0, 0, 0, 0}, {0x000000, 0xFFFFFF}},
        {33, 1, 1, 8, {1, 0, 0, 0, 0}, {0x000000, 0xFFFFFF}},
        {3, 1, 2, 4, {2, 0, 0, 0, 0}, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}},
        {9, 2, 4, 8, {4, 0, 0, 0, 0}, grey16},
        {8, 8, 8, 8, {8, 0, 0, 0, 0}, grey256},
        {3, 3, 16, 8, {16, 0x7C00, 0x03E0, 0x001F, 0x8000}, {}},
        {3, 1, 32, 12, {32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000}, {}},
        {0, 0, 24, 0, {24, 0xFF0000, 0x00FF00, 0x0000FF, 0}, {}},
    };
    for (const DefaultCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        Image im;
        ASSERT_TRUE(im.Create(c.w, c.h, c.bpp));
        EXPECT_EQ(im.width, c.w);
        EXPECT_EQ(im.height, c.h);
        EXPECT_EQ(im.pitch, c.pitch);
        EXPECT_NE(im.data, nullptr);
        EXPECT_TRUE(im.bOwnPixels);
        EXPECT_EQ(0, memcmp(&im.format, &c.format, sizeof(PIXELFORMAT)));
        if (c.table.empty()) {
            EXPECT_EQ(im.palette, nullptr);
        } else {
            ASSERT_NE(im.palette, nullptr);
            EXPECT_EQ(std::vector<uint32_t>(im.palette, im.palette + c.table.size()), c.table);
        }
        if (c.pitch * c.h != 0) {
            memset(im.data, 0x5A, c.pitch * c.h);  // the whole block is there (ASan)
        }
    }
}

TEST(ImageCreate, RefusedDepthLeavesImageAsItWas) {
    for (uint32_t bpp : {0u, 3u, 12u, 33u}) {
        Image im;
        MakeMarked(im);
        CaptureStderr();
        EXPECT_FALSE(im.Create(4, 4, bpp));
        EXPECT_EQ(GetCapturedStderr(), "Image::Create() failure: unsupported bits per pixel\n");
        ExpectMarked(im);
    }
}

struct FullCase {
    const char* name;
    uint32_t w, h, pitch;
    PIXELFORMAT format;
    const char* message;  // null: accepted
    bool table;
};

TEST(ImageCreate, FullFormValidation) {
    const FullCase cases[] = {
        {"bpp 0", 4, 4, 16, {0, 0, 0, 0, 0}, "Image::Create() failure: unsupported bits per pixel\n", false},
        {"bpp 33", 4, 4, 32, {33, 0xFF, 0, 0, 0},
         "Image::Create() failure: unsupported bits per pixel\n", false},
        {"pitch one short", 10, 2, 29, {24, 0xFF0000, 0xFF00, 0xFF, 0},
         "Image::Create() failure: pitch too small\n", false},
        {"pitch not a multiple of 4", 10, 2, 30, {24, 0xFF0000, 0xFF00, 0xFF, 0}, nullptr, false},
        {"palettised 12 bpp", 4, 4, 8, {12, 0, 0, 0, 0},
         "Image::Create() failure: unsupported palettized image bpp\n", false},
        {"palettised 3 bpp", 8, 1, 3, {3, 0, 0, 0, 0}, nullptr, true},
        {"masks overlap", 4, 4, 8, {16, 0x0100, 0x0100, 0, 0},
         "Image::Create() failure: argb masks overlap\n", false},
        {"alpha overlaps blue", 4, 4, 16, {32, 0xFF0000, 0xFF00, 0xFF, 0xFF},
         "Image::Create() failure: argb masks overlap\n", false},
        {"mask above bpp", 4, 4, 8, {16, 0x10000, 0, 0, 0},
         "Image::Create() failure: wrong rgba masks for bpp\n", false},
        {"8 bpp with masks has no table", 4, 4, 4, {8, 0xE0, 0x1C, 0x03, 0}, nullptr, false},
        {"32 bpp top alpha bit", 1, 1, 4, {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, nullptr, false},
    };
    for (const FullCase& c : cases) {
        SCOPED_TRACE(c.name);
        Image im;
        MakeMarked(im);
        CaptureStderr();
        const bool ok = im.Create(c.w, c.h, c.pitch, &c.format, nullptr);
        const std::string err = GetCapturedStderr();
        if (c.message == nullptr) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(err, "");
            EXPECT_EQ(im.pitch, c.pitch);
            EXPECT_EQ(im.width, c.w);
            EXPECT_EQ(im.palette != nullptr, c.table);
            memset(im.data, 0, static_cast<size_t>(c.pitch) * c.h);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(err, c.message);
            ExpectEmpty(im);  // a failed full Create destroys the old content
        }
    }
    Image im;
    CaptureStderr();
    EXPECT_FALSE(im.Create(1, 1, 4, nullptr, nullptr));
    EXPECT_EQ(GetCapturedStderr(), "Image::Create() failure: no pixel format\n");
}

TEST(ImageCreate, CallerBytesAreNotOwned) {
    std::vector<uint8_t> bytes(2 * 8, 0x77);
    const PIXELFORMAT f = {16, 0x7C00, 0x03E0, 0x001F, 0};
    {
        Image im;
        ASSERT_TRUE(im.Create(4, 2, 8, &f, bytes.data()));
        EXPECT_FALSE(im.bOwnPixels);
        EXPECT_EQ(im.data, bytes.data());
        EXPECT_TRUE(im.Clear());
        im.Destroy();
        ExpectEmpty(im);
        // Re-creating with own bytes after caller bytes must not free the caller's.
        ASSERT_TRUE(im.Create(4, 2, 8, &f, bytes.data()));
        ASSERT_TRUE(im.Create(4, 2, 16));
        EXPECT_TRUE(im.bOwnPixels);
    }  // destructor releases only its own block; ASan reports any other release
    EXPECT_EQ(bytes, std::vector<uint8_t>(16, 0));
}

TEST(ImageCreate, SizesBeyond32BitsAreRefused) {
    const char* tooLarge = "Image::Create() failure: image too large\n";
    struct Case {
        const char* name;
        uint32_t w, h, pitch, bpp;
    };
    // In 32-bit arithmetic each of these wraps to a small, allocatable size.
    const Case full[] = {
        {"width x bpp wraps", 0x80000000u, 1, 0x10000000u, 8},
        {"height x pitch wraps", 16, 0x10000001u, 16, 8},
        {"pitch x height just above 32 bits", 1, 0x10001u, 0x10000u, 8},
    };
    for (const Case& c : full) {
        SCOPED_TRACE(c.name);
        const PIXELFORMAT f = {c.bpp, 0, 0, 0, 0};
        Image im;
        MakeMarked(im);
        CaptureStderr();
        EXPECT_FALSE(im.Create(c.w, c.h, c.pitch, &f, nullptr));
        EXPECT_EQ(GetCapturedStderr(), tooLarge);
        ExpectEmpty(im);
    }
    const Case defaults[] = {
        {"row of 2^34 bits", 0x20000000u, 1, 0, 32},
        {"rows times pitch of 2^32", 0x10000u, 0x10000u, 0, 8},
        {"widest 24-bit row", 0xFFFFFFFFu, 1, 0, 24},
    };
    for (const Case& c : defaults) {
        SCOPED_TRACE(c.name);
        Image im;
        CaptureStderr();
        EXPECT_FALSE(im.Create(c.w, c.h, c.bpp));
        EXPECT_EQ(GetCapturedStderr(), tooLarge);
        ExpectEmpty(im);
    }
    // The largest block that fits is accepted (caller bytes: nothing is touched).
    uint8_t byte = 0;
    const PIXELFORMAT f8 = {8, 0, 0, 0, 0};
    Image im;
    EXPECT_TRUE(im.Create(1, 0x10001u, 0xFFFFu, &f8, &byte));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Runs in a child process: under a small address-space limit a 4 GiB image
// cannot be allocated; exits 0 when that was reported and nothing was kept.
void CreateUnderMemoryLimit() {
    rlimit lim = {};
    lim.rlim_cur = lim.rlim_max = 256u << 20;
    setrlimit(RLIMIT_AS, &lim);
    Image im;
    const bool ok = im.Create(0xFFFFu, 0xFFFFu, 8);
    exit(ok || im.data != nullptr || im.palette != nullptr ? 1 : 0);
}

TEST(ImageCreateDeathTest, AllocationFailureIsReportedNotThrown) {
    if (kSanitized) GTEST_SKIP() << "address-space limits do not mix with the sanitizer";
    EXPECT_EXIT(CreateUnderMemoryLimit(), testing::ExitedWithCode(0),
                "Image::Create\\(\\) failure: pixels not allocated\n");
}

TEST(ImageCalcPitch, RoundsToAlignment) {
    struct Case {
        uint32_t w, bpp, align, pitch;
    };
    const Case cases[] = {
        {10, 24, 8, 32}, {10, 24, 0, 30}, {10, 24, 1, 30},  {10, 24, 4, 32},
        {8, 24, 4, 24},  {5, 1, 4, 4},    {9, 1, 0, 2},     {0, 32, 4, 0},
        {3, 4, 2, 2},    {1, 32, 16, 16}, {0xFFFFFFFFu, 32, 4, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Image::CalcPitch(c.w, c.bpp, c.align), c.pitch)
            << c.w << " " << c.bpp << " " << c.align;
    }
}

TEST(ImagePalette, GrayRamp) {
    Image im;
    uint32_t t[16];
    const uint32_t fill = 0xDEADBEEF;
    std::fill(std::begin(t), std::end(t), fill);
    EXPECT_TRUE(im.GrayPalette(t, 1));  // no step to divide by: one black entry
    EXPECT_EQ(t[0], 0u);
    EXPECT_EQ(t[1], fill);
    EXPECT_TRUE(im.GrayPalette(t, 0));
    EXPECT_TRUE(im.GrayPalette(t, 2));
    EXPECT_EQ(t[0], 0u);
    EXPECT_EQ(t[1], 0xFFFFFFu);
    EXPECT_TRUE(im.GrayPalette(t, 3));
    EXPECT_EQ(t[1], 127u * 0x010101u);  // truncating division
    EXPECT_TRUE(im.GrayPalette(t, 16));
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(t[i], i * 17u * 0x010101u);

    CaptureStderr();
    EXPECT_FALSE(im.GrayPalette(nullptr, 4));
    EXPECT_EQ(GetCapturedStderr(), "Image::GrayPalette() failure: no palette\n");
}

TEST(ImagePalette, SetPaletteBounds) {
    const uint32_t colours[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Image im;
    ASSERT_TRUE(im.Create(4, 4, 4));
    EXPECT_TRUE(im.SetPalette(colours, 10, 6));
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(im.palette[10 + i], colours[i]);
    EXPECT_EQ(im.palette[9], 9u * 17u * 0x010101u);

    struct Case {
        const char* name;
        const uint32_t* colours;
        uint32_t first, count;
        const char* message;
    };
    const Case cases[] = {
        {"one past the end", colours, 10, 7, "Image::SetPalette() failure: too many colors\n"},
        {"first + count wraps in 32 bits", colours, 0xFFFFFFFFu, 2,
         "Image::SetPalette() failure: too many colors\n"},
        {"huge count", colours, 1, 0xFFFFFFFFu, "Image::SetPalette() failure: too many colors\n"},
        {"no colours", nullptr, 0, 1, "Image::SetPalette() failure: no palette\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureStderr();
        EXPECT_FALSE(im.SetPalette(c.colours, c.first, c.count));
        EXPECT_EQ(GetCapturedStderr(), c.message);
    }
    Image rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 24));
    CaptureStderr();
    EXPECT_FALSE(rgb.SetPalette(colours, 0, 1));
    EXPECT_EQ(GetCapturedStderr(), "Image::SetPalette() failure: no palette\n");
}

TEST(ImageLifecycle, ClearAndDestroy) {
    Image im;
    CaptureStderr();
    EXPECT_FALSE(im.Clear());
    EXPECT_EQ(GetCapturedStderr(), "");  // no message

    ASSERT_TRUE(im.Create(3, 3, 8));  // pitch 4: one padding byte per row
    memset(im.data, 0xAB, 12);
    EXPECT_TRUE(im.Clear());
    EXPECT_EQ(std::vector<uint8_t>(im.data, im.data + 12), std::vector<uint8_t>(12, 0));

    im.Destroy();
    ExpectEmpty(im);
    EXPECT_EQ(im.pitch, 4u);  // pitch, format and ownership are kept
    EXPECT_EQ(im.format.bpp, 8u);
    EXPECT_TRUE(im.bOwnPixels);
    im.Destroy();  // safe on an empty image
    EXPECT_FALSE(im.Clear());
}

TEST(ImageInfo, FiveLines) {
    Image im;
    std::string expected = "- image @ 0x" + Hex8(&im) +
                           " info - \nwidth 0, height 0, pitch 0, bpp 0 \n"
                           "masks : red 0x00000000, green 0x00000000, blue 0x00000000, alpha "
                           "0x00000000\ndata @ 0x00000000, palette @ 0x00000000, bOwnPixels 0 \n"
                           "color keys: src 0x00000000 dst 0x00000000 \n";
    EXPECT_EQ(std::string(im.InfoString()), expected);

    ASSERT_TRUE(im.Create(7, 5, 16));
    im.srcColorKey = 0x12AB;
    expected = "- image @ 0x" + Hex8(&im) +
               " info - \nwidth 7, height 5, pitch 16, bpp 16 \n"
               "masks : red 0x00007C00, green 0x000003E0, blue 0x0000001F, alpha 0x00008000\n"
               "data @ 0x" +
               Hex8(im.data) + ", palette @ 0x00000000, bOwnPixels 1 \n" +
               "color keys: src 0x000012AB dst 0x00000000 \n";
    const char* text = im.InfoString();
    EXPECT_EQ(std::string(text), expected);
    Image other;
    EXPECT_EQ(other.InfoString(), text);  // one shared text, overwritten
}

TEST(ImageInfo, WidestValuesStayInBuffer) {
    Image im;
    im.width = im.height = im.pitch = 0xFFFFFFFFu;
    im.format = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    im.srcColorKey = im.dstColorKey = 0xFFFFFFFFu;
    const std::string text = im.InfoString();
    EXPECT_LT(text.size(), 256u);
    EXPECT_EQ(text.rfind("width 4294967295, height 4294967295, pitch 4294967295, bpp 4294967295 \n"),
              text.find('\n') + 1);
    im.width = im.height = 0;
}

}  // namespace
