// The command line as a user meets it: usage errors, help, quiet runs and
// the files a render leaves behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A folder of its own per test, so that tests may run in parallel.
fs::path Scratch() {
    const fs::path dir = fs::path(LUMIVOR_BINARY_DIR) / "cli-test" /
                         testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir);
    return dir;
}

struct Result {
    int status;
    std::string out, err;
};

Result Lumivor(const std::string& args) {
    const fs::path out = Scratch() / "stdout", err = Scratch() / "stderr";
    const std::string cmd = "'" + std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor' " + args +
                            " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
}

}  // namespace

TEST(Cli, BadArgumentsAreOneLineErrorsWithStatusTwo) {
    for (const char* args :
         {"render --size 0x10 --no-gl", "render --size 100 --no-gl", "render --preset 10 --no-gl",
          "render --ticks 0 --no-gl", "render --ticks --no-gl", "render --seed -5 --no-gl",
          "render --minutes abc --no-gl", "render --bogus", "render --ticks 5 --minutes 1 --no-gl",
          "render --no-gl --png out.png", "render --no-gl --markers", "render --trace t.txt",
          "render --final-state"}) {
        const Result r = Lumivor(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("lumivor render: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    EXPECT_NE(Lumivor("render --bogus").err.find("--bogus"), std::string::npos);
}

TEST(Cli, HelpListsEveryOption) {
    const Result r = Lumivor("render --help");
    EXPECT_EQ(r.status, 0);
    for (const char* opt : {"--preset", "--seed", "--size", "--ticks", "--minutes", "--habitat",
                            "--no-gl", "--quiet", "--png", "--start-from", "--markers"})
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
    EXPECT_EQ(Lumivor("--version").out.rfind("lumivor ", 0), 0u);
}

TEST(Cli, RenderWritesAHabitatFile) {
    const fs::path ppm = Scratch() / "out.ppm";
    const Result r = Lumivor("render --no-gl --preset 3 --seed 1234567893 --size 144x90 "
                             "--ticks 20 --habitat '" + ppm.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Read(ppm), header = "P6\n#quib habitat\n144 90\n255\n";
    EXPECT_EQ(file.size(), header.size() + 144u * 90u * 3u);
    EXPECT_EQ(file.substr(0, header.size()), header);
    EXPECT_NE(r.err.find("community 'fijnwerk' : habitat 144 x 90"), std::string::npos);
}

TEST(Cli, QuietSilencesTheSystemButNotErrorsAndFailuresAreStatusOne) {
    const fs::path dir = Scratch();
    Result r = Lumivor("render --no-gl --quiet --seed 7 --size 60x40 --ticks 3 --habitat '" +
                       (dir / "q.ppm").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty() && r.err.empty()) << r.out << r.err;
    r = Lumivor("render --no-gl --quiet --seed 7 --ticks 3 --size 60x40 --habitat '" +
                (dir / "missing" / "q.ppm").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lumivor render: cannot save"), std::string::npos) << r.err;
    std::ofstream(dir / "junk.ppm") << "not a picture";
    EXPECT_EQ(Lumivor("render --no-gl --ticks 2 --start-from '" + (dir / "junk.ppm").string() +
                      "'").status, 1);
}
