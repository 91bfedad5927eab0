// The command line as a user meets it: usage errors, help and the manual page,
// quiet runs, standard output, and the files a render leaves behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
    return ReadFile(p.string());
}

// A folder of its own per test, so that tests may run in parallel; emptied
// when the test first asks for it, so that a rerun starts clean.
fs::path Scratch() {
    static std::string emptied;
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path dir = fs::path(LUMIVOR_BINARY_DIR) / "cli-test" / name;
    if (emptied != name) fs::remove_all(dir);
    emptied = name;
    fs::create_directories(dir);
    return dir;
}

std::string Quoted(const fs::path& p) {
    std::string quoted = "'";
    return quoted.append(p.string()).append("'");
}

struct Result {
    int status;
    std::string out, err;
};

// Runs lumivor with `args` (shell words); standard output goes to `out_to` when given.
Result Lumivor(const std::string& args, const std::string& out_to = "") {
    const fs::path out = Scratch() / "stdout", err = Scratch() / "stderr";
    std::string cmd = Quoted(fs::path(LUMIVOR_BINARY_DIR) / "cli" / "lumivor");
    cmd.append(" ").append(args).append(" >").append(
        Quoted(out_to.empty() ? out : fs::path(out_to)));
    cmd.append(" 2>").append(Quoted(err));
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out_to.empty() ? Read(out) : "",
            Read(err)};
}

// Option name -> argument name ("" for a flag), from a help text's "  --name ARG" lines.
std::map<std::string, std::string> HelpOptions(const std::string& help) {
    std::map<std::string, std::string> options;
    std::istringstream in(help);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("  --", 0) != 0) continue;
        const size_t name_end = l.find(' ', 4);
        const std::string name = l.substr(4, name_end - 4);
        std::string argument;
        if (name_end != std::string::npos && name_end + 1 < l.size() && l[name_end + 1] != ' ')
            argument = l.substr(name_end + 1, l.find(' ', name_end + 1) - name_end - 1);
        options[name] = argument;
    }
    return options;
}

// The same from one section of the manual page: the ".B" or ".BI" line after each
// ".TP", as in '.BI \-\-habitat " FILE"'.
std::map<std::string, std::string> ManOptions(const std::string& man, const std::string& section) {
    std::map<std::string, std::string> options;
    const size_t begin = man.find(".SH " + section), end = man.find("\n.SH ", begin + 1);
    std::istringstream in(man.substr(begin, end - begin));
    bool after_tp = false;
    for (std::string l; std::getline(in, l);) {
        const bool item = after_tp && (l.rfind(".B ", 0) == 0 || l.rfind(".BI ", 0) == 0);
        after_tp = l == ".TP";
        if (!item) continue;
        l.erase(std::remove(l.begin(), l.end(), '\\'), l.end());
        const size_t start = l.find_first_not_of('-', l.find(' ') + 1);
        const size_t name_end = l.find(' ', start);
        const std::string name = l.substr(start, name_end - start);
        std::string argument;
        const size_t quote = l.find("\" ", name_end);
        if (name_end != std::string::npos && quote != std::string::npos)
            argument = l.substr(quote + 2, l.find('"', quote + 2) - quote - 2);
        options[name] = argument;
    }
    return options;
}

const char kSmallRun[] = "--seed 7 --size 60x40 --ticks 3";

}  // namespace

TEST(Cli, BadArgumentsAreOneLineErrorsWithStatusTwo) {
    const std::pair<const char*, const char*> cases[] = {
        {"render --size 0x10 --no-gl --final-state", "--size needs WxH"},
        {"render --size 100 --no-gl --final-state", "--size"},
        {"render --preset 10 --no-gl --final-state", "--preset needs a community number 0..9"},
        {"render --ticks 0 --no-gl --final-state", "--ticks"},
        {"render --seed -5 --no-gl --final-state", "--seed"},
        {"render --minutes abc --no-gl --final-state", "--minutes"},
        {"render --bogus", "unknown option '--bogus'"},
        {"render --ticks 5 --minutes 1 --no-gl --final-state", "--ticks and --minutes exclude"},
        {"render --ticks 3 --ticks 4 --no-gl --final-state", "--ticks given twice"},
        {"render -ticks 3 --ticks 4 --no-gl --final-state", "--ticks given twice"},
        {"render --habitat '' --no-gl", "--habitat needs a file name"},
        {"render --png '' --no-gl", "--png needs a file name"},
        {"render --start-from '' --no-gl --final-state", "--start-from needs a file name"},
        {"render --no-gl --markers --final-state", "--markers needs GL"},
        {"render --trace t.txt", "--trace works with --no-gl only"},
        {"render --final-state", "--final-state works with --no-gl only"},
        {"render --no-gl --ticks 2", "nothing to write: give --png, --habitat, "},
        {"render --no-gl --habitat - --png -", "cannot both go to standard output"},
        {"render --no-gl --habitat - --final-state", "cannot both go to standard output"},
        {"--frobnicate", "unknown option '--frobnicate'"},
        {"-window-id nothing", "--window-id needs a window id"},
        {"-window-id 0x100000000", "--window-id needs a window id"},
        {"--preset 3 -preset 4", "--preset given twice"},
        {"--habitat ''", "--habitat needs a file name"},
        {"--minutes 2", "unknown option '--minutes'"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const Result r = Lumivor(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(
            r.err.rfind(
                std::string(args).rfind("render", 0) == 0 ? "lumivor render: " : "lumivor: ", 0),
            0u)
            << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

// Every flag of both commands takes one dash or two.
TEST(Cli, OneDashOrTwo) {
    const Result r = Lumivor("render -no-gl -quiet -seed 7 -size 60x40 -ticks 3 -final-state");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("final n_updates=4 ", 0), 0u) << r.out;
    EXPECT_EQ(Lumivor("-help-window").status, 0);
    EXPECT_EQ(Lumivor("--version").out.rfind("lumivor ", 0), 0u);
}

// --help, --help-window and the manual page list the same options with the same arguments.
TEST(Cli, HelpAndManualPageListTheSameOptions) {
    const std::string man = Read(fs::path(LUMIVOR_SOURCE_DIR) / "packaging" / "lumivor.6");
    ASSERT_FALSE(man.empty());
    const Result render = Lumivor("render --help"), window = Lumivor("--help-window");
    ASSERT_EQ(render.status, 0);
    ASSERT_EQ(window.status, 0);
    const auto render_help = HelpOptions(render.out), window_help = HelpOptions(window.out);
    EXPECT_GE(render_help.size(), 14u);  // read at all
    EXPECT_GE(window_help.size(), 18u);
    EXPECT_EQ(ManOptions(man, "RENDER OPTIONS"), render_help);
    EXPECT_EQ(ManOptions(man, "WINDOW OPTIONS"), window_help);
}

// --quiet silences the system's own lines only: what the user asked for and every
// error with its reason still appear.
TEST(Cli, QuietSilencesOnlyTheSystemsOwnMessages) {
    const fs::path dir = Scratch();
    Result r = Lumivor("render --no-gl --quiet " + std::string(kSmallRun) + " --habitat " +
                       Quoted(dir / "q.ppm"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Read(dir / "q.ppm").rfind("P6\n#quib habitat\n60 40\n", 0), 0u);

    r = Lumivor("render --no-gl --quiet --final-state " + std::string(kSmallRun));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("final n_updates=4 ", 0), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

    r = Lumivor("-quiet --help-window");
    EXPECT_NE(r.out.find("--window-id"), std::string::npos);

    std::ofstream(dir / "junk.ppm") << "not a picture";
    r = Lumivor("render --no-gl --quiet --final-state --ticks 2 --start-from " +
                Quoted(dir / "junk.ppm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("junk.ppm"), std::string::npos) << r.err;
}

// A write error on standard output is a failure with the system's reason.
TEST(Cli, StandardOutputWriteErrorsFail) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Result r = Lumivor("render --no-gl --final-state " + std::string(kSmallRun), "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lumivor: cannot write to standard output: No space left on device"),
              std::string::npos)
        << r.err;
    r = Lumivor("render --help", "/dev/full");
    EXPECT_EQ(r.status, 1);
}

// A standard stream by any name is that stream: standard output as "-" is (the
// picture whole, the world's lines on standard error, one output per stream, a
// pipe too), standard input never an output, and all of it decided before the
// first tick.
TEST(Cli, StandardStreamsByAnyName) {
    const fs::path dir = Scratch(), want = dir / "want.png", got = dir / "got.png";
    const std::string run = "render --no-gl " + std::string(kSmallRun);
    ASSERT_EQ(
        Lumivor(run + " --png " + Quoted(want) + " --habitat " + Quoted(dir / "want.ppm")).status,
        0);
    for (const char* name : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        SCOPED_TRACE(name);
        Result r = Lumivor(run + " --png " + name, got.string());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Read(got) == Read(want)) << "messages mixed into the picture";
        EXPECT_NE(r.err.find("community '"), std::string::npos) << r.err;
        r = Lumivor(run + " --quiet --habitat " + name + " | cat", got.string());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(Read(got) == Read(dir / "want.ppm")) << "the habitat through a pipe differs";
        EXPECT_EQ(Lumivor(run + " --png - --habitat " + name).status, 2);
    }
    EXPECT_TRUE(fs::is_symlink("/dev/stdout")) << "/dev/stdout was replaced";
    std::ofstream(dir / "in.txt") << "keep";
    for (const char* name : {"/dev/stdin", "/dev/fd/0"}) {
        const Result r = Lumivor(run + " --habitat " + name + " <" + Quoted(dir / "in.txt"));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("standard input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Read(dir / "in.txt"), "keep");
    // Closed standard output, and a descriptor that is not open: refused before the world.
    const std::string lumivor = Quoted(fs::path(LUMIVOR_BINARY_DIR) / "cli" / "lumivor");
    const std::string err = Quoted(dir / "err");
    for (const char* closed : {"--habitat - >&-", "--habitat /dev/fd/9 >/dev/null"}) {
        const int status = std::system((lumivor + " " + run + " " + closed + " 2>" + err).c_str());
        EXPECT_EQ(WEXITSTATUS(status), 1) << closed;
        EXPECT_EQ(Read(dir / "err").find("InitCommunity"), std::string::npos) << closed;
    }
}

// Outputs that are one file (by name, symbolic link or hard link), or the
// picture the run starts from, are a usage error before anything is touched.
TEST(Cli, OutputsNamingOneFileAreRefusedUntouched) {
    const fs::path dir = Scratch(), f = dir / "f", g = dir / "g";
    std::ofstream(f) << "old f";
    fs::create_symlink(f, dir / "link");
    fs::create_hard_link(f, dir / "hard");
    const std::string run = "render --no-gl " + std::string(kSmallRun) + " --habitat " + Quoted(f);
    for (const std::string& other :
         {"--trace " + Quoted(f), "--png " + Quoted(dir / "link"), "--png " + Quoted(dir / "hard"),
          "--start-from " + Quoted(f)}) {
        SCOPED_TRACE(other);
        const Result r = Lumivor(run + " " + other);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(Read(f), "old f");
    }
    const Result r = Lumivor("render --no-gl " + std::string(kSmallRun) + " --habitat " +
                             Quoted(g) + " --png " + Quoted(dir / "." / "g"));
    EXPECT_EQ(r.status, 2) << "a new file by two names";
    EXPECT_FALSE(fs::exists(g));
    // A device takes any number of outputs, also when standard output is that device.
    EXPECT_EQ(
        Lumivor("render --no-gl " + std::string(kSmallRun) + " --habitat /dev/null --png /dev/null",
                "/dev/null")
            .status,
        0);
}

// A run that fails before its first tick leaves every output as it was; "-" is
// the standard stream for every path option, and ./- a file named "-".
TEST(Cli, EarlyFailuresChangeNothingAndDashIsAStream) {
    const fs::path dir = Scratch(), picture = dir / "p.ppm", notes = dir / "notes.txt";
    ASSERT_EQ(Lumivor("render --no-gl " + std::string(kSmallRun) + " --habitat " + Quoted(picture))
                  .status,
              0);
    std::ofstream(notes) << "notes";
    const fs::path missing = dir / "missing" / "q.ppm";
    for (const std::string option : {"--habitat", "--png", "--trace"}) {
        const Result r = Lumivor("render --no-gl " + std::string(kSmallRun) + " " + option + " " +
                                 Quoted(missing));
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_NE(r.err.find("lumivor render: cannot write " + missing.string() +
                             ": No such file or directory"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("InitCommunity"), std::string::npos) << "the world was built";
    }
    Result r = Lumivor("render --no-gl --ticks 2 --size 10x10 --start-from " + Quoted(picture) +
                       " --trace " + Quoted(notes));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Read(notes), "notes");

    r = Lumivor("render --no-gl --quiet --ticks 2 --start-from - --trace - <" + Quoted(picture));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("0 0 0 ", 0), 0u) << "the trace on standard output";
    const std::string cd = "cd " + Quoted(dir) + " && " +
                           Quoted(fs::path(LUMIVOR_BINARY_DIR) / "cli" / "lumivor") + " ";
    EXPECT_EQ(std::system((cd + "render --no-gl --quiet --ticks 2 --trace ./- >/dev/null").c_str()),
              0);
    EXPECT_EQ(Read(dir / "-").rfind("0 0 0 ", 0), 0u);

    // A surface larger than OpenGL can draw is refused before the world is built.
    r = Lumivor("render --size 32768x1 --png " + Quoted(dir / "big.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("larger than this OpenGL can draw"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("InitCommunity"), std::string::npos) << "the world was built";
    r = Lumivor("render --no-gl --ticks 2 --habitat x.ppm --start-from " + Quoted(dir));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
    r = Lumivor("--window-id 010 --display :none");  // decimal 10, not octal 8
    EXPECT_EQ(r.status, 1) << r.err;
}
