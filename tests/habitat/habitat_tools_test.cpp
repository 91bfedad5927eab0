// The world's tools that need no file or drawing surface: RGB-to-HSL
// conversion of a raster pair, the seeded clear and the scattering of bots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colour/hsl.h"
#include "colour/random_tovi.h"
#include "image/image.h"
#include "tests/habitat/habitat_test_util.h"
#include "world/biotope.h"
#include "world/clock.h"

namespace {

TEST(HabitatRGBtoHSLTest, ConvertsEveryPackedCell) {
    // 5 x 3: rows are padded in storage, cells are addressed packed.
    Image rgb, hsl;
    ASSERT_TRUE(rgb.Create(5, 3, 24));
    ASSERT_TRUE(hsl.Create(5, 3, 24));
    FillPattern(rgb);
    Biotope world;

    const auto r = CaptureVoid([&] { world.HabitatRGBtoHSL(&rgb, &hsl); });

    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Biotope::HabitatRGBtoHSL() : done\n");
    const auto* in = reinterpret_cast<const RGB_888*>(rgb.data);
    const auto* out = reinterpret_cast<const HSL_888*>(hsl.data);
    for (int i = 0; i < 15; ++i) {
        HSL_888 want;
        RGBtoHSL(&in[i], &want);
        EXPECT_EQ(out[i].h, want.h) << "cell " << i;
        EXPECT_EQ(out[i].s, want.s) << "cell " << i;
        EXPECT_EQ(out[i].l, want.l) << "cell " << i;
    }
}

TEST(HabitatRGBtoHSLTest, RefusesMismatchedImagesAndLeavesHSLAlone) {
    struct Case {
        const char* name;
        uint32_t rgb_w, rgb_h, rgb_bpp;  // 0 x 0: no image storage
        uint32_t hsl_w, hsl_h, hsl_bpp;
        bool null_rgb, null_hsl;
        const char* err;
    };
    const Case cases[] = {
        {"no rgb", 4, 3, 24, 4, 3, 24, true, false, "failure : no input\n"},
        {"no hsl", 4, 3, 24, 4, 3, 24, false, true, "failure : no input\n"},
        {"empty rgb", 0, 0, 24, 4, 3, 24, false, false, "failure : no input data\n"},
        {"empty hsl", 4, 3, 24, 0, 0, 24, false, false, "failure : no input data\n"},
        {"wider rgb", 9, 3, 24, 4, 3, 24, false, false,
         "failure : incompatible input widths (9 - 4)\n"},
        {"narrower rgb", 4, 3, 24, 9, 3, 24, false, false,
         "failure : incompatible input widths (4 - 9)\n"},
        {"taller rgb", 4, 7, 24, 4, 3, 24, false, false,
         "failure : incompatible input heights  (7 - 3)\n"},
        {"32-bit rgb", 4, 3, 32, 4, 3, 24, false, false, "failure : incompatible color depths\n"},
        {"8-bit hsl", 4, 3, 24, 4, 3, 8, false, false, "failure : incompatible color depths\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image rgb, hsl;
        if (c.rgb_w > 0) {
            ASSERT_TRUE(rgb.Create(c.rgb_w, c.rgb_h, c.rgb_bpp));
        }
        if (c.hsl_w > 0) {
            ASSERT_TRUE(hsl.Create(c.hsl_w, c.hsl_h, c.hsl_bpp));
        }
        const size_t hsl_bytes = static_cast<size_t>(hsl.pitch) * hsl.height;
        if (rgb.data) std::fill(rgb.data, rgb.data + static_cast<size_t>(rgb.pitch) * rgb.height, 0x40);
        if (hsl.data) std::fill(hsl.data, hsl.data + hsl_bytes, 0x11);
        Biotope world;

        const auto r = CaptureVoid([&] {
            world.HabitatRGBtoHSL(c.null_rgb ? nullptr : &rgb, c.null_hsl ? nullptr : &hsl);
        });

        EXPECT_EQ(r.err, std::string("Biotope::HabitatRGBtoHSL() : ") + c.err);
        if (hsl.data) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(hsl.data), hsl_bytes),
                      std::string(hsl_bytes, '\x11'));
        }
    }
}

// The first n outputs of the generator after srandom_tovi(seed).
std::vector<long> Draws(uint32_t seed, int n) {
    srandom_tovi(seed);
    std::vector<long> r;
    for (int i = 0; i < n; ++i) r.push_back(random_tovi());
    return r;
}

TEST(SeededClearHabitatTest, ClearsToANearbyColourAndRestartsTheCommunitySequence) {
    struct Case {
        RGB_888 c;
        unsigned long seed;
    };
    const Case cases[] = {
        {{200, 200, 200}, 12345},
        {{255, 254, 250}, 1},  // sums wrap modulo 256
        {{0, 0, 0}, 0x1'0000'0007ul},  // the generator takes the low 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        Biotope world;
        CaptureVoid([&] { world.Create(2, 7, 5, 777); });
        const std::vector<long> r = Draws(static_cast<uint32_t>(c.seed), 3);
        const RGB_888 k = {static_cast<uint8_t>(c.c.r + (r[0] & 7)),
                           static_cast<uint8_t>(c.c.g + (r[1] & 7)),
                           static_cast<uint8_t>(c.c.b + (r[2] & 7))};
        HSL_888 k_hsl;
        RGBtoHSL(&k, &k_hsl);
        const long community_first = Draws(777, 1)[0];
        srandom_tovi(4242);  // anything: the clear reseeds

        const auto out = CaptureVoid([&] { world.ClearHabitat(&c.c, c.seed); });

        EXPECT_EQ(out.out + out.err, "");
        EXPECT_EQ(random_tovi(), community_first);
        std::string rgb_cells, hsl_cells;
        for (int i = 0; i < 35; ++i) {
            rgb_cells += std::string{static_cast<char>(k.r), static_cast<char>(k.g),
                                     static_cast<char>(k.b)};
            hsl_cells += std::string{static_cast<char>(k_hsl.h), static_cast<char>(k_hsl.s),
                                     static_cast<char>(k_hsl.l)};
        }
        EXPECT_EQ(Cells(world.rgb_habitat), rgb_cells);
        EXPECT_EQ(Cells(world.hsl_habitat), hsl_cells);
    }
}

TEST(SeededClearHabitatTest, DoesNothingWithoutAHabitat) {
    Biotope world;
    const RGB_888 c = {1, 2, 3};
    const long first = Draws(5, 1)[0];
    srandom_tovi(5);

    const auto out = CaptureVoid([&] { world.ClearHabitat(&c, 99); });

    EXPECT_EQ(out.err, "Biotope::ClearHabitat() failure: no habitat\n");
    EXPECT_EQ(random_tovi(), first);  // generator untouched
}

// Fixes the clock for the scope.
struct FixedClock {
    explicit FixedClock(std::time_t t) { FixClock(t); }
    ~FixedClock() { UnfixClock(); }
};

TEST(ReInitCommunityTest, ScattersBotsWithThreeDrawsEach) {
    Biotope world;
    CaptureVoid([&] { world.Create(8, 37, 23, 99); });
    for (unsigned long i = 0; i < world.n_bots; ++i) {
        world.bots[i].value = static_cast<long>(10 + i);
        world.bots[i].genes[3] = static_cast<uint8_t>(i);
        world.bots[i].color = HSL_888{static_cast<uint8_t>(i), 5, 6};
    }
    world.n_updates = 17;
    const std::string rgb = Cells(world.rgb_habitat);
    const std::string hsl = Cells(world.hsl_habitat);
    const FixedClock clock(1765000123);
    const std::vector<long> r = Draws(1765000123u, 25);
    srandom_tovi(1);

    const auto out = Capture([&] { return world.ReInitCommunity(); });

    EXPECT_TRUE(out.result);
    EXPECT_EQ(out.out, "Biotope::ReInitCommunity()\n");
    EXPECT_EQ(out.err, "");
    EXPECT_EQ(world.seed, 1765000123ul);
    EXPECT_EQ(world.n_updates, 0ul);
    for (unsigned long i = 0; i < world.n_bots; ++i) {
        SCOPED_TRACE(i);
        const Bot& b = world.bots[i];
        EXPECT_EQ(b.x, r[3 * i] % 37);
        EXPECT_EQ(b.y, r[3 * i + 1] % 23);
        EXPECT_EQ(b.dir, r[3 * i + 2] & 7);
        EXPECT_EQ(b.value, static_cast<long>(10 + i));
        EXPECT_EQ(b.genes[3], i);
        EXPECT_EQ(b.color.h, i);
    }
    EXPECT_EQ(random_tovi(), r[24]);  // not reseeded afterwards
    EXPECT_EQ(Cells(world.rgb_habitat), rgb);
    EXPECT_EQ(Cells(world.hsl_habitat), hsl);
}

TEST(ReInitCommunityTest, WithoutBotsChangesOnlySeedAndUpdateCount) {
    Biotope world;
    CaptureVoid([&] { world.CreateHabitat(4, 3); });
    world.seed = 5;
    world.n_updates = 9;
    world.bot_steps = 77;
    world.hue_shift = 3;
    const std::string rgb = Cells(world.rgb_habitat);
    const FixedClock clock(1234);

    const auto out = Capture([&] { return world.ReInitCommunity(); });

    EXPECT_TRUE(out.result);
    EXPECT_EQ(world.seed, 1234ul);
    EXPECT_EQ(world.n_updates, 0ul);
    EXPECT_EQ(world.bots, nullptr);
    EXPECT_EQ(world.n_bots, 0ul);
    EXPECT_EQ(world.bot_steps, 77ul);
    EXPECT_EQ(world.hue_shift, 3);
    EXPECT_EQ(Cells(world.rgb_habitat), rgb);
}

TEST(ReInitCommunityTest, RefusesToPlaceBotsWithoutAHabitat) {
    Biotope world;
    CaptureVoid([&] { world.Create(2, 4, 3, 1); });
    world.rgb_habitat.Destroy();
    world.hsl_habitat.Destroy();
    const int32_t x0 = world.bots[0].x, y0 = world.bots[0].y;
    world.n_updates = 4;
    const FixedClock clock(1234);

    const auto out = Capture([&] { return world.ReInitCommunity(); });

    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.err, "Biotope::ReInitCommunity() failure: no habitat\n");
    EXPECT_EQ(world.seed, 1ul);
    EXPECT_EQ(world.n_updates, 4ul);
    EXPECT_EQ(world.bots[0].x, x0);
    EXPECT_EQ(world.bots[0].y, y0);
}

}  // namespace
