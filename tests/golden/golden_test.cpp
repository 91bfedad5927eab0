// Every reference run, reproduced byte for byte by `lumivor render --no-gl`: the habitat file,
// the system's messages, the bots' final state, the next random number and, where given, the
// trace of every bot step. Our outputs stay in the build folder's golden-out/ for comparison.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child.h"

TEST(Golden, EveryReferenceRunIsReproduced) {
    const std::string golden = LUMIVOR_GOLDEN_DIR "/", out = LUMIVOR_BINARY_DIR "/golden-out/";
    std::ifstream cases(golden + "cases.tsv");
    if (!cases && std::getenv("CI") != nullptr) FAIL() << "reference runs missing under CI";
    if (!cases) GTEST_SKIP() << "no reference runs at " << golden;
    std::filesystem::create_directories(out);
    std::string name, preset, seed, size, ticks;
    std::getline(cases, name);  // the header
    int runs = 0;
    for (; cases >> name >> preset >> seed >> size >> ticks; ++runs) {
        SCOPED_TRACE(name);
        const std::string want = golden + name, got = out + name;
        const bool traced = std::filesystem::exists(want + ".trace");
        const LumivorRun run =
            RunLumivor("render --no-gl --preset " + preset + " --seed " + seed + " --size " + size +
                       " --ticks " + ticks + " --habitat " + Quoted(got + ".ppm") +
                       " --final-state" + (traced ? " --trace " + Quoted(got + ".trace") : ""));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadFile(got + ".ppm") == ReadFile(want + ".ppm")) << "habitat differs";
        EXPECT_EQ(run.err, ReadFile(want + ".err"));
        // Ours prints its save line, just before the final state, where the reference has none.
        const std::string save = "Biotope::SaveHabitat(" + got + ".ppm)\n";
        const size_t at = run.out.rfind(save);
        ASSERT_NE(at, std::string::npos) << run.out;
        EXPECT_EQ(run.out.find('\n', at + save.size()), run.out.size() - 1);
        EXPECT_EQ(run.out.substr(0, at) + run.out.substr(at + save.size()),
                  ReadFile(want + ".out"));
        if (traced) {
            EXPECT_TRUE(ReadFile(got + ".trace") == ReadFile(want + ".trace")) << "trace";
        }
    }
    EXPECT_GT(runs, 0);
}
