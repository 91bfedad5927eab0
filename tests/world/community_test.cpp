// The preset communities and their installation into the world.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "colour/random_tovi.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

struct Captured {
    std::string out, err;
};

Captured Install(int n, int w, int h, long clock) {
    scr_w = w;
    scr_h = h;
    FixClock(clock);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    InitCommunity(n);
    Captured c{testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
    UnfixClock();
    return c;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

}  // namespace

TEST(Community, UnknownNumbersAreRefused) {
    for (int n : {10, -1}) {
        scr_w = 100;
        scr_h = 100;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(InitCommunity(n));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "InitCommunity(" + std::to_string(n) + ")\ncommunity " + std::to_string(n) +
                           " : no such community!\n");
    }
}

TEST(Community, InstallsGeoAtA1440By900Surface) {
    const Captured c = Install(4, 1440, 900, 1765000148);
    EXPECT_EQ(biotope.n_bots, 8u);
    EXPECT_EQ(biotope.bot_steps, 1080u);
    EXPECT_EQ(biotope.seed, 1765000148u);
    EXPECT_EQ(biotope.bots[3].step_func, step_funcs[4][3]);
    // The message order of a whole run is held by the reference-run test.
    EXPECT_EQ(c.err,
              "InitCommunity(4)\n"
              "community 'geo&vlekkensnel' : habitat 1440 x 900, rgb(202, 202, 200) hue_shift 0\n");
    EXPECT_EQ(biotope.rgb_habitat.data[0], 202);  // habitat starts in the clear colour
}

TEST(Community, StepCountsFollowTheSurface) {
    const int sizes[][3] = {{1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728},
                            {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        Install(1, s[0], s[1], 5);
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
    // A world that cannot be built leaves the saver with nothing to walk.
    Install(1, 0, 0, 5);
    EXPECT_FALSE(biotope.HasHabitat());
    EXPECT_TRUE(biotope.Update());
}

// The gene table printed by the bots equals the gene lines of the reference
// runs, which come from an independent transcription.
TEST(Community, GeneLinesMatchTheReferenceRuns) {
    const std::string golden = LUMIVOR_GOLDEN_DIR;
    std::ifstream cases(golden + "/cases.tsv");
    if (!cases) {
        if (std::getenv("CI") != nullptr) FAIL() << "reference runs missing: " << golden;
        GTEST_SKIP() << "no reference runs at " << golden;
    }
    bool seen[kCommunityCount] = {};
    std::string line;
    std::getline(cases, line);
    while (std::getline(cases, line)) {
        const std::string name = line.substr(0, line.find('\t'));
        const int preset = std::stoi(line.substr(line.find('\t') + 1));
        if (seen[preset]) continue;
        seen[preset] = true;
        std::ifstream out(golden + "/" + name + ".out");
        std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
        std::vector<std::string> want;
        for (const std::string& l : Lines(text))
            if (l.rfind("genes ", 0) == 0) want.push_back(l);
        const Captured c = Install(preset, 120, 100, 1);
        std::vector<std::string> got;
        for (const std::string& l : Lines(c.out))
            if (l.rfind("genes ", 0) == 0) got.push_back(l);
        EXPECT_EQ(got, want) << "community " << preset;
    }
    for (int n = 0; n < kCommunityCount; ++n) EXPECT_TRUE(seen[n]) << n;
}
