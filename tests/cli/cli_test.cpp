// The command line as a user meets it: usage errors, help, quiet runs and
// the files a render leaves behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path Scratch() {
    const fs::path dir = fs::path(LUMIVOR_BINARY_DIR) / "cli-test" /
                         testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Result RunLumivor(const std::string& args) {
    // Per test, so that tests may run in parallel.
    const fs::path dir = fs::path(LUMIVOR_BINARY_DIR) / "cli-test" /
                         (std::string("run-") +
                          testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    const fs::path out = dir / "stdout", err = dir / "stderr";
    const std::string cmd =
        "'" + kLumivor + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    Result r;
    const int status = std::system(cmd.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Read(out);
    r.err = Read(err);
    return r;
}

int CountLines(const std::string& s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace

TEST(Cli, BadArgumentsAreOneLineErrorsWithStatusTwo) {
    const char* bad[] = {
        "render --size 0x10 --no-gl",   "render --size 100 --no-gl",
        "render --preset 10 --no-gl",   "render --preset x --no-gl",
        "render --ticks 0 --no-gl",     "render --ticks --no-gl",
        "render --seed -5 --no-gl",     "render --minutes abc --no-gl",
        "render --bogus",               "render --ticks 5 --minutes 1 --no-gl",
        "render --no-gl --png out.png", "render --no-gl --markers",
        "render --size 10x10 --png",    "render --trace t.txt",
        "render --final-state",
    };
    for (const char* args : bad) {
        const Result r = RunLumivor(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(CountLines(r.err), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("lumivor render: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    const Result unknown = RunLumivor("render --bogus");
    EXPECT_NE(unknown.err.find("--bogus"), std::string::npos);
}

TEST(Cli, HelpAndVersion) {
    Result r = RunLumivor("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("lumivor render"), std::string::npos);
    r = RunLumivor("render --help");
    EXPECT_EQ(r.status, 0);
    for (const char* opt : {"--preset", "--seed", "--size", "--ticks", "--minutes", "--habitat",
                            "--no-gl", "--quiet", "--png", "--start-from", "--markers"}) {
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
    }
    r = RunLumivor("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("lumivor ", 0), 0u);
}

TEST(Cli, RenderWritesAHabitatFileThatDescribesItself) {
    const fs::path dir = Scratch();
    const fs::path ppm = dir / "out.ppm";
    const Result r = RunLumivor("render --no-gl --preset 3 --seed 1234567893 --size 144x90 --ticks 20 "
                         "--habitat '" + ppm.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Read(ppm);
    const std::string header = "P6\n#quib habitat\n144 90\n255\n";
    ASSERT_EQ(file.size(), header.size() + 144u * 90u * 3u);
    EXPECT_EQ(file.substr(0, header.size()), header);
    EXPECT_NE(r.err.find("community 'fijnwerk' : habitat 144 x 90"), std::string::npos);
    EXPECT_NE(r.out.find("Biotope::SaveHabitat("), std::string::npos);

    // Same seed, same run.
    const fs::path again = dir / "again.ppm";
    RunLumivor("render --no-gl --preset 3 --seed 1234567893 --size 144x90 --ticks 20 --habitat '" +
        again.string() + "'");
    EXPECT_TRUE(Read(again) == file);
}

TEST(Cli, SeedChoosesTheCommunityLikeTheSaver) {
    const Result r = RunLumivor("render --no-gl --seed 1234567893 --size 60x40 --ticks 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("InitCommunity(3)"), std::string::npos);
}

TEST(Cli, QuietSilencesTheSystemButNotErrors) {
    const fs::path dir = Scratch();
    Result r = RunLumivor("render --no-gl --quiet --seed 7 --size 60x40 --ticks 3 --habitat '" +
                   (dir / "q.ppm").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(fs::exists(dir / "q.ppm"));

    r = RunLumivor("render --no-gl --quiet --seed 7 --size 60x40 --ticks 3 --habitat '" +
            (dir / "missing" / "q.ppm").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lumivor render: cannot save"), std::string::npos) << r.err;
}

TEST(Cli, StartFromAFileThatIsNotAHabitatFails) {
    const fs::path dir = Scratch();
    std::ofstream(dir / "junk.ppm") << "not a picture";
    Result r = RunLumivor("render --no-gl --seed 1 --ticks 2 --start-from '" + (dir / "junk.ppm").string() +
                   "'");
    EXPECT_EQ(r.status, 1);
    r = RunLumivor("render --no-gl --seed 1 --ticks 2 --start-from '" + (dir / "none.ppm").string() + "'");
    EXPECT_EQ(r.status, 1);
}
