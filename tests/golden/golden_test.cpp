// Every reference run, reproduced byte for byte by `lumivor render --no-gl`:
// the habitat file, the system's messages, the bots' final state, the next
// random number and, where given, the trace of every bot step.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kGolden = LUMIVOR_GOLDEN_DIR;
const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

struct Case {
    std::string name, preset, seed, size, ticks;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    std::ifstream in(kGolden + "/cases.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream f(line);
        Case c;
        std::getline(f, c.name, '\t');
        std::getline(f, c.preset, '\t');
        std::getline(f, c.seed, '\t');
        std::getline(f, c.size, '\t');
        std::getline(f, c.ticks, '\t');
        if (!c.name.empty()) cases.push_back(c);
    }
    return cases;
}

}  // namespace

TEST(Golden, EveryReferenceRunIsReproduced) {
    if (!fs::exists(kGolden + "/cases.tsv")) {
        if (std::getenv("CI") != nullptr) FAIL() << "reference runs missing under CI: " << kGolden;
        GTEST_SKIP() << "no reference runs at " << kGolden;
    }
    const std::vector<Case> cases = Cases();
    ASSERT_FALSE(cases.empty());
    const fs::path dir = fs::path(LUMIVOR_BINARY_DIR) / "golden-out";
    fs::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = dir / (c.name + ".out"), err = dir / (c.name + ".err");
        const fs::path ppm = dir / (c.name + ".ppm"), trace = dir / (c.name + ".trace");
        const fs::path want_trace = fs::path(kGolden) / (c.name + ".trace");
        const bool traced = fs::exists(want_trace);
        std::string cmd = "'" + kLumivor + "' render --no-gl --preset " + c.preset + " --seed " +
                          c.seed + " --size " + c.size + " --ticks " + c.ticks + " --habitat '" +
                          ppm.string() + "' --final-state";
        if (traced) cmd += " --trace '" + trace.string() + "'";
        cmd += " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << cmd;
        ASSERT_EQ(WEXITSTATUS(status), 0) << cmd;

        EXPECT_TRUE(Read(ppm) == Read(fs::path(kGolden) / (c.name + ".ppm"))) << "habitat differs";
        EXPECT_EQ(Read(err), Read(fs::path(kGolden) / (c.name + ".err")));
        // Ours prints its save line where the reference has none; the final
        // state line ends both.
        std::vector<std::string> got = Lines(Read(out));
        const std::vector<std::string> want = Lines(Read(fs::path(kGolden) / (c.name + ".out")));
        ASSERT_GE(got.size(), 2u);
        EXPECT_EQ(got[got.size() - 2], "Biotope::SaveHabitat(" + ppm.string() + ")");
        got.erase(got.end() - 2);
        EXPECT_EQ(got, want);
        if (traced) {
            EXPECT_TRUE(Read(trace) == Read(want_trace)) << "trace differs";
        }
    }
}
