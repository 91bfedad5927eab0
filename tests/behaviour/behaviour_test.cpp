// The building blocks and the step pipeline: the values that pin each rule. Every preset step
// function, its values, headings, colours and random draws, is held by the reference runs (the
// two-update runs trace every step of every bot).
//
// The specialised walks of the preset bots take exactly the steps of the general stepping,
// draw for draw, on random worlds of every community: the saver's walks, those of an
// observed update (which report every step as it was taken) and those of a run without
// trails (which write the habitat alone and mark the cells they paint). And a bot's own
// parts: its trail storage and RGB stepping (its HSL stepping is held by the walks'
// equivalence here and the reference runs), and the display colours painted after a walk.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "behaviour/pipeline.h"
#include "behaviour/presets.h"
#include "bots/bot.h"
#include "bots/trail_colours.h"
#include "colour/random_tovi.h"
#include "image/image.h"
#include "tests/support/captured.h"
#include "world/biotope.h"
#include "world/community.h"

using namespace behaviour;

namespace {

// A bot view with channels A and B both on the given hue neighbourhood.
struct View {
    Bot bot;
    HSL_888 cell{0, 0, 0};
    View(std::initializer_list<int> ring, int centre, HSL_888 own = {0, 0, 0}, long value = 0,
         long dir = 0) {
        int j = 0;
        for (int v : ring) bot.nbh_h[j++] = static_cast<uint8_t>(v);
        bot.nbh_h[8] = static_cast<uint8_t>(centre);
        bot.color = own;
        bot.nbh_a = bot.nbh_b = bot.nbh_h;
        bot.own_a = bot.own_b = own.h;
        bot.value = value;
        bot.dir = dir;
        bot.cell_hsl = &cell;
    }
};

struct Out {
    long value = 0, dir = 0;
    HSL_888 hsl{0, 0, 0};
};

template <StepFunc F>
Out Step(View& v) {
    Out o;
    F(&v.bot, &o.value, &o.dir, &o.hsl);
    return o;
}

// Community n (its genes and step functions) on a small habitat of random colours (few
// levels, so ties and runs are common; bots cross the border often).
void Build(Biotope& w, int n, int width, int height) {
    Captured([&] {
        w.Create(kCommunityBots, width, height, 1765000000ul + n);
        w.SetBotSteps(500);
        w.SetHueShift(*hshift[n]);
        for (unsigned long b = 0; b < w.n_bots; ++b) {
            std::memcpy(w.bots[b].genes, bot_genes[n][b], 13);
            w.bots[b].step_func = step_funcs[n][b];
        }
        w.InitCommunity();
    });
    uint64_t s = 99 + n;
    for (size_t i = 0; i < static_cast<size_t>(width) * height * 3; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const uint8_t levels[8] = {0, 3, 7, 100, 101, 250, 255, static_cast<uint8_t>(s >> 56)};
        w.hsl_habitat.data[i] = levels[(s >> 33) & 7];
    }
}

// One step as a row: bot, step, x, y, value, heading, written HSL, shown RGB.
using Row = std::array<long, 12>;

struct Recorder {
    const Biotope* world;
    std::vector<Row> rows;
};

void RecordStep(void* context, const behaviour::StepRecord& r) {
    Recorder& rec = *static_cast<Recorder*>(context);
    rec.rows.push_back(Row{r.bot - rec.world->bots, static_cast<long>(r.step), r.x, r.y, r.value,
                           r.dir, r.written.h, r.written.s, r.written.l, r.shown.r, r.shown.g,
                           r.shown.b});
}

// A world's habitat and display, as bytes.
std::string Rasters(const Biotope& w) {
    const size_t bytes = static_cast<size_t>(w.hsl_habitat.width) * w.hsl_habitat.height * 3;
    return std::string(reinterpret_cast<const char*>(w.hsl_habitat.data), bytes) +
           std::string(reinterpret_cast<const char*>(w.rgb_habitat.data), bytes);
}

// Each bot's place, value and heading and, with `trails`, its trail, as bytes.
std::string Bots(const Biotope& w, bool trails = true) {
    std::string bytes;
    for (unsigned long b = 0; b < w.n_bots; ++b) {
        const Bot& bot = w.bots[b];
        const long state[] = {bot.x, bot.y, bot.value, bot.dir};
        bytes.append(reinterpret_cast<const char*>(state), sizeof state);
        if (!trails) continue;
        bytes.append(reinterpret_cast<const char*>(bot.path_xy), 500 * sizeof(Point2i));
        bytes.append(reinterpret_cast<const char*>(bot.path_rgb), 500 * sizeof(RGB_888));
    }
    return bytes;
}

// A step function that records the ring it was shown and returns fixed outputs.
uint8_t seen_h[9], seen_s[9], seen_l[9];
void RecordingStep(const Core_* core, long* value, long* dir, HSL_888* out) {
    const Bot* bot = static_cast<const Bot*>(core);
    std::memcpy(seen_h, bot->nbh_h, 9);
    std::memcpy(seen_s, bot->nbh_s, 9);
    std::memcpy(seen_l, bot->nbh_l, 9);
    *value = 0;
    *dir = 3;
    *out = HSL_888{0, 255, 128};
}

}  // namespace

// Every block runs in the reference runs; these rows pin the wraps, clamps, ties and skipped
// neighbours that a run may reach seldom. A value writer on channel 3 writes nothing.
TEST(Blocks, ValueWriters) {
    const struct {
        long (*fn)(const Core_*, long, unsigned char*, unsigned char);
        HSL_888 cell, own;
        long value;
        unsigned char ch;
        long result;
        std::string out;
    } cases[] = {
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 0, 255, {'\xff', 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 1, 0, {10, 0, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 0, 44, {44, 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 2, 255, {10, 20, '\xff'}},
        {set_val_2, {250, 20, 30}, {0, 0, 0}, 10, 0, 10, {2, 20, 30}},
        {set_val_2, {0, 20, 31}, {0, 0, 0}, 200, 2, 200, {0, 20, 115}},
        {set_val_3, {1, 1, 1}, {0, 0, 0}, 0, 1, 0, {1, 0, 1}},
        {set_val_5, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {'\xfa', 75, 93}},
        {set_val_6, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {'\xfa', 75, 96}},
        {set_val_10, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {'\xff', '\xfe', '\xfe'}},
        {set_val_11, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {'\xff', '\xfe', '\xfe'}},
        {set_val_12, {100, 100, 120}, {217, 85, 52}, 100, 0, 100, {100, 98, 112}},
        {set_val_13, {100, 40, 60}, {0, 200, 250}, 255, 1, 255, {99, '\x93', 59}},
    };
    for (const auto& c : cases) {
        View v({0, 0, 0, 0, 0, 0, 0, 0}, 0, c.own);
        v.cell = c.cell;
        unsigned char out[3] = {7, 7, 7}, untouched[3] = {7, 8, 9};
        EXPECT_EQ(c.fn(&v.bot, c.value, out, c.ch), c.result) << "case " << &c - cases;
        EXPECT_EQ(std::string(out, out + 3), c.out) << "case " << &c - cases;
        EXPECT_TRUE(c.fn(&v.bot, 1234, untouched, 3) == 1234 && untouched[1] == 8);
    }
}

TEST(Blocks, DirectionSources) {
    const struct {
        long (*fn)(const Core_*, long);
        std::initializer_list<int> ring;
        int centre;
        uint8_t own;
        long h, result;
    } cases[] = {
        {get_dir_1, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 3},
        {get_dir_3, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        {get_dir_5, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        {get_dir_6, {255, 255, 255, 255, 255, 255, 255, 255}, 0, 0, 5, 5},
        {get_dir_6, {90, 50, 50, 50, 10, 50, 50, 50}, 0, 0, 5, 9},
        {get_dir_7, {0, 0, 0, 9, 0, 9, 0, 0}, 0, 0, 2, 5},
        {get_dir_11, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 0, 0},
        {get_dir_11, {0, 0, 0, 0, 45, 0, 0, 0}, 50, 0, 0, -4},  // index 4 is never tried
        {get_dir_12, {0, 0, 0, 0, 0, 0, 0, 70}, 50, 0, 1, 8},
        {get_dir_13, {10, 10, 200, 10, 10, 10, 10, 10}, 0, 10, 3, 5},
        {get_dir_14, {10, 10, 200, 10, 10, 10, 11, 10}, 0, 11, 3, 9},
        {get_dir_14, {200, 200, 200, 200, 200, 200, 12, 200}, 0, 11, 3, 9},
        {get_dir_15, {0, 100, 100, 100, 100, 100, 100, 100}, 0, 0, 1, 2},
        {get_dir_17, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 2, 2},
        {get_dir_19, {80, 70, 60, 50, 40, 30, 20, 10}, 0, 0, 2, ((0 - 10) >> 1) & 7},
        {get_dir_20, {0, 1, 1, 1, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_21, {0, 3, 3, 3, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_22, {0, 30, 5, 80, 0, 10, 20, 30}, 0, 0, 4, 5},
        {get_dir_23, {0, 10, 20, 30, 0, 10, 20, 90}, 0, 0, 4, 5},
    };
    for (const auto& c : cases) {
        View v(c.ring, c.centre, HSL_888{c.own, 0, 0});
        EXPECT_EQ(c.fn(&v.bot, c.h), c.result) << "case " << &c - cases;
    }
}

TEST(Pipeline, StageRules) {
    // Nine bytes divide by nine, five by seven.
    View bright({255, 255, 255, 255, 255, 255, 255, 255}, 255);
    EXPECT_EQ((Step<StepPipeline<13, 0, 0, 1, 0, 0, 0, 0, 1>>(bright).value), 255);
    EXPECT_EQ((Step<StepPipeline<10, 0, 0, 1, 0, 0, 0, 0, 1>>(bright).value), 182);
    // An increasing run has a negative max-first range: range < 32 holds, > 32 fails.
    View rising({10, 20, 30, 40, 50, 60, 70, 80}, 77, {0, 0, 0}, 5);
    EXPECT_EQ((Step<StepPipeline<0, 5, 0, 1, 0, 0, 0, 0, 1>>(rising).value), 77);
    EXPECT_EQ((Step<StepPipeline<0, 7, 0, 1, 0, 0, 0, 0, 1>>(rising).value), 5);
    // The pull toward A moves up at V = A; the writer wraps the hue and clamps the rest.
    View level({0, 0, 0, 0, 0, 0, 0, 0}, 0, {40, 0, 0}, 40);
    EXPECT_EQ((Step<StepPipeline<0, 0, 9, 1, 0, 0, 0, 0, 0>>(level).value), 42);
    View low({0, 0, 0, 0, 0, 0, 0, 0}, 0, {0, 0, 0}, 0, 3);
    EXPECT_EQ((Step<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 0>>(low).value), 254);
    EXPECT_EQ((Step<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 2>>(low).value), 0);
    // Blend 3: no turn goes straight back, h + 2 gives h + 5, h + 4 gives h + 2.
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 0, 3, 0>>(low).dir), 7);
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 2, 3, 0>>(low).dir), 8);
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 4, 3, 0>>(low).dir), 5);
}

// Away from the border a walk reads the ring without wrapping, in stretches as long as the
// bot's distance to the border allows; on it, each neighbour wraps. Habitats with no inner
// cells, one inner cell, narrow strips and roomy ones take every mix of the two. Each shape
// runs on one kind of generator: the system's own, or the linear one (type 0) or a short
// additive one (type 1) set up in place of the global generator's table. After a run without
// trails, one repaint of the marked cells gives the display; cells never painted keep their
// colour, which is not what converting their habitat cell would give. Both ways of painting
// the display: after the walk where the processor has the vector unit, and inside the walk
// (forced here on any processor); and both ways of repainting it after a run without trails,
// vectorised or not.
TEST(FastWalk, EqualsTheGeneralStepForEveryCommunityShapeGeneratorAndPainting) {
    int64_t table[8] = {};
    struct Restore {  // the global generator's own table and the painting, however it ends
        random_state_tovi saved = unsafe_state_tovi;
        ~Restore() { unsafe_state_tovi = saved, AllowVectorTrailPaint(true); }
    } restore;
    const auto seed = [&](uint32_t table_bytes) {  // 0: the global generator
        unsafe_state_tovi = restore.saved;
        if (table_bytes == 0) {
            srandom_tovi(99);
        } else {
            ASSERT_EQ(initstate_r_tovi(99, table, table_bytes, &unsafe_state_tovi), 0);
        }
    };
    const int shapes[][3] = {{2, 2, 16}, {3, 3, 32},  {3, 41, 0}, {41, 3, 16},
                             {5, 6, 32}, {23, 17, 0}, {64, 48, 0}};
    for (const bool vector_pass : {true, false})
        for (const auto& [width, height, table_bytes] : shapes) {
            AllowVectorTrailPaint(vector_pass);
            EXPECT_FALSE(!vector_pass && PaintTrailAfterWalk());
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " table " +
                         std::to_string(table_bytes) +
                         (vector_pass ? "" : ", painted in the walk"));
            for (int n = 0; n < kCommunityCount; ++n) {
                SCOPED_TRACE(n);
                Biotope fast, plain, marked;
                // On one shape bot 7 has a step function without a specialised walk: it
                // walks, and is observed, through the general step amid the others.
                for (Biotope* w : {&fast, &plain, &marked}) {
                    Build(*w, n, width, height);
                    if (width == 23) w->bots[7].step_func = def_step_func;
                }
                for (unsigned long b = 0; b < fast.n_bots; ++b)
                    ASSERT_EQ(behaviour::WalksFor(fast.bots[b].step_func) == nullptr,
                              width == 23 && b == 7);
                Recorder observed{&fast, {}};
                seed(table_bytes);
                for (int u = 0; u < 3; ++u) fast.Update();
                const std::string fast_walked = Bots(fast);
                for (int u = 0; u < 3; ++u)
                    fast.UpdateObserved(behaviour::StepObserver{RecordStep, &observed});
                const long fast_next = random_tovi();
                std::vector<Row> general;
                std::string plain_walked;
                seed(table_bytes);
                for (int u = 0; u < 6; ++u) {  // updates by the general step alone, bot after bot
                    if (u == 3) general.clear(), plain_walked = Bots(plain);
                    for (unsigned long b = 0; b < plain.n_bots; ++b) {
                        Bot& bot = plain.bots[b];
                        for (bot.path_index = 0; bot.path_index < bot.path_steps;
                             ++bot.path_index) {
                            bot.StepHSL(&plain.hsl_habitat, &plain.rgb_habitat);
                            const Point2i at = bot.path_xy[bot.path_index];
                            const uint8_t* c = plain.hsl_habitat.data + (at.y * width + at.x) * 3;
                            const RGB_888 shown = bot.path_rgb[bot.path_index];
                            general.push_back(Row{long(b), long(bot.path_index), at.x, at.y,
                                                  bot.value, bot.dir, c[0], c[1], c[2], shown.r,
                                                  shown.g, shown.b});
                        }
                    }
                }
                EXPECT_EQ(random_tovi(), fast_next);
                Image painted;
                ASSERT_TRUE(painted.Create(width, height, 8) && painted.Clear());
                seed(table_bytes);
                for (int u = 0; u < 6; ++u) marked.UpdateHabitat(&painted);
                marked.RepaintDisplay(painted);
                EXPECT_EQ(random_tovi(), fast_next);
                seed(0);  // the global generator again before the next worlds are seeded
                EXPECT_TRUE(fast_walked == plain_walked) << "bots or trails differ";
                EXPECT_EQ(observed.rows, general);
                EXPECT_TRUE(Bots(fast) == Bots(plain) && Bots(marked, false) == Bots(plain, false));
                EXPECT_TRUE(Rasters(fast) == Rasters(plain) && Rasters(marked) == Rasters(plain));
                EXPECT_TRUE(fast.n_updates == 6 && marked.n_updates == 6);
            }
        }
}

// Marks that do not fit the habitat are never written: the update paints as the saver's
// does, and a repaint with them is refused.
TEST(FastWalk, MarksThatDoNotFitTheHabitatAreNeverWritten) {
    Biotope fast, plain;
    Build(fast, 3, 20, 10);
    Build(plain, 3, 20, 10);
    Image small, wide;
    ASSERT_TRUE(small.Create(20, 9, 8) && small.Clear() && wide.Create(20, 10, 24) && wide.Clear());
    srandom_tovi(5);
    fast.UpdateHabitat(nullptr);
    fast.UpdateHabitat(&small);
    fast.UpdateHabitat(&wide);
    srandom_tovi(5);
    for (int u = 0; u < 3; ++u) plain.Update();
    EXPECT_TRUE(Rasters(fast) == Rasters(plain) && Bots(fast) == Bots(plain));
    EXPECT_EQ(fast.n_updates, 3u);
    for (size_t i = 0; i < 20 * 9; ++i) ASSERT_EQ(small.data[i], 0) << i;
    EXPECT_FALSE(fast.RepaintDisplay(small));
    EXPECT_FALSE(fast.RepaintDisplay(wide));
    EXPECT_TRUE(Rasters(fast) == Rasters(plain));
}

// The same count keeps the arrays and their contents; a count whose arrays cannot be had
// leaves no steps, reported, never thrown.
TEST(Bot, TrailStorage) {
    Bot bot;
    bot.path_xy[5] = Point2i{11, 12};
    Point2i* before = bot.path_xy;
    EXPECT_TRUE(bot.SetPathSteps(1024));
    EXPECT_TRUE(bot.path_xy == before && bot.path_xy[5].x == 11);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bot.SetPathSteps(~0ul / 4));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("SetPathSteps() failure"),
              std::string::npos);
    EXPECT_TRUE(bot.path_steps == 0 && bot.path_xy == nullptr);
}

// The bot sees grey 196 as (0, 0, 196) and writes its colour without the hue shift; one cell
// on, the written cell is straight behind it and reads back inexactly.
TEST(BotStepRGB, SeesConvertedColoursAndWritesWithoutHueShift) {
    Image img;
    ASSERT_TRUE(img.Create(4, 3, 24));
    std::memset(img.data, 196, 4 * 3 * 3);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(2);
    bot.x = bot.y = 1;
    bot.hue_shift = 77;
    bot.StepPathRGB(&img);
    EXPECT_TRUE(seen_h[0] == 0 && seen_s[0] == 0 && seen_l[0] == 196);  // the first step
    EXPECT_EQ(std::string(reinterpret_cast<char*>(img.data) + 15, 3), "\xff\x01\x01");
    EXPECT_TRUE(seen_s[4] == 254 && seen_l[4] == 128) << int{seen_s[4]} << " " << int{seen_l[4]};
}

// The display colours painted after a walk: every HSL colour converts as the scalar
// conversion does, the trail ends up in RGB, and a cell visited more than once shows its
// last colour, for trails shorter and longer than the vector width.
// Each trail is painted into a 256 x 256 display; the trail and the display are checked against
// the scalar conversion, entry by entry in trail order. Trails of 0 to 19 revisits, then every
// colour of each hue with h % 11 revisits after it.
TEST(TrailColours, EqualTheScalarConversionForEveryColour) {
    for (int h = -20; h < 256; ++h) {
        SCOPED_TRACE(h);
        std::vector<Point2i> xy;
        std::vector<RGB_888> hsl;
        for (int i = 0; h >= 0 && i < 256 * 256; ++i) {
            xy.push_back(Point2i{i % 256, i / 256});
            hsl.push_back(RGB_888{uint8_t(h), uint8_t(i), uint8_t(i / 256)});
        }
        for (int k = 0; k < (h < 0 ? h + 20 : h % 11); ++k) {
            xy.push_back(Point2i{k % 7, 3});
            hsl.push_back(RGB_888{uint8_t(h + k), 9, uint8_t(k * 37)});
        }
        std::vector<uint8_t> display(256 * 256 * 3, 0xEE), expected(display);
        std::vector<RGB_888> colours = hsl;
        PaintTrail(xy.data(), colours.data(), colours.size(), display.data(), 256 * 3);
        for (size_t i = 0; i < hsl.size(); ++i) {
            RGB_888 rgb;
            HSLtoRGB_inline(HSL_888{hsl[i].r, hsl[i].g, hsl[i].b}, rgb);
            ASSERT_EQ(std::memcmp(&colours[i], &rgb, 3), 0) << "entry " << i;
            std::memcpy(&expected[(xy[i].y * 256 + xy[i].x) * 3], &rgb, 3);
        }
        EXPECT_EQ(display, expected);
    }
}
