// The command line: the options of every command through their shared table (the Windows
// saver's switches in every form Windows sends them), and `lumivor` as a user meets it: usage
// errors, help and the manual page, quiet runs, standard streams and the files a render leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/shared/options.h"
#include "tests/support/child.h"

namespace fs = std::filesystem;

namespace {

// Parses `args` (after the command's name) with `parse` into `out`; the error, or "" on success.
template <class Args>
std::string Parse(bool (*parse)(int, char**, Args*, std::string*), std::vector<std::string> args,
                  Args* out) {
    args.insert(args.begin(), "lumivor");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::string error;
    return parse(static_cast<int>(argv.size()), argv.data(), out, &error) ? "" : error;
}

// "name ARG" ("name" for a flag) of every option a help text lists in its "  --name ARG" lines
// or, given a section, that the manual page lists there in the ".B" or ".BI" line after each
// ".TP", as in '.BI \-\-habitat " FILE"' (read without its escapes and quotes).
std::set<std::string> Listed(std::string text, const std::string& section = "") {
    if (!section.empty()) {
        const size_t begin = text.find(".SH " + section);
        text = std::regex_replace(text.substr(begin, text.find("\n.SH ", begin + 1) - begin),
                                  std::regex(R"([\\"])"), "");
    }
    const std::regex option(section.empty() ? R"(\n  --([\w-]+)(?: (\S+))?)"
                                            : R"(\.TP\n\.BI? -+([\w-]+)(?: +(\S+))?)");
    std::set<std::string> options;
    for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i)
        options.insert((*i)[1].str() + ((*i)[2].matched ? " " + (*i)[2].str() : ""));
    return options;
}

const std::string kRun = "render --no-gl --seed 7 --size 60x40 --ticks 3",
                  kFull = "lumivor: cannot write to standard output: No space left on device\n",
                  kAfter = "--after needs a duration such as 300, 90s or 5m (at most 24h), not ";

}  // namespace

// Every command's refusals, worded alike: what the option needs and what it got, options
// with one dash or two. On the command line (the Windows saver's switches are parsed here, named
// as given) a refusal is one line on standard error, named by its command and pointing to its
// help, with status 2; a write error on standard output is a failure (status 1) with the
// system's reason. Nothing reaches standard output.
TEST(Options, UsageErrorsSayWhatTheOptionNeeds) {
    const std::pair<std::string, std::string> cases[] = {
        {"render --size 0x10", "--size needs WxH, each 1..32768, not '0x10'"},
        {"render --size 100", "--size needs WxH, each 1..32768, not '100'"},
        {"render --preset 10", "--preset needs a community number 0..9, not '10'"},
        {"render --ticks 0", "--ticks needs a tick count 1..1000000000, not '0'"},
        {"render --seed -5", "--seed needs a clock reading (a non-negative integer), not '-5'"},
        {"render --minutes abc", "--minutes needs a number of minutes 0..100000, not 'abc'"},
        {"render --minutes 0x1", "--minutes needs a number of minutes 0..100000, not '0x1'"},
        {"render --minutes 1e2", "--minutes needs a number of minutes 0..100000, not '1e2'"},
        {"render --bogus", "unknown option '--bogus'"},
        {"render --ticks 5 --minutes 1", "--ticks and --minutes exclude each other"},
        {"render -ticks 3 --ticks 4", "--ticks given twice"},
        {"render --habitat '' --no-gl", "--habitat needs a file name"},
        {"render --no-gl --markers", "--markers needs GL rendering (drop --no-gl)"},
        {"render --trace t.txt", "--trace works with --no-gl only"},
        {"render --final-state", "--final-state works with --no-gl only"},
        {"render --scale 0", "--scale needs a factor above 0, at most 1, not '0'"},
        {"render --scale 2", "--scale needs a factor above 0, at most 1, not '2'"},
        {"render --scale 1e-1", "--scale needs a factor above 0, at most 1, not '1e-1'"},
        {"render --scale .5 --png p.png", "--scale works with --video only"},
        {"render --every 5 --png p.png", "--every works with --video only"},
        {"render --video v.avi",
         "--video needs a name ending in .webm, .mkv, .mp4 or .gif, or - (WebM on standard "
         "output)"},
        {"render --video v.mp4 --lossless",
         "--lossless needs a .webm or .mkv video (VP9); MP4 holds H.264"},
        {"render --video v.webm --lossless --scale .5",
         "--scale and --lossless exclude each other: a lossless video is the pictures exactly"},
        {"render --no-gl --ticks 2",
         "nothing to write: give --png, --habitat, --video, --trace or --final-state"},
        {"-window-id x", "--window-id needs a window id (decimal or 0x hex), not 'x'"},
        {"-window-id 0x100000000",
         "--window-id needs a window id (decimal or 0x hex), not '0x100000000'"},
        {"--preset 3 -preset 4", "--preset given twice"},
        {"--minutes 2", "unknown option '--minutes'"},
        {"--draw gdi", "--draw needs auto, opengl or pixels, not 'gdi'"},
        {"--ticks-per-second 76", "--ticks-per-second needs a pace 1..75, not '76'"},
        {"idle --after 0", kAfter + "'0'"},
        {"idle --after 25h", kAfter + "'25h'"},
        {"idle --after '5 m'", kAfter + "'5 m'"},
        {"idle --root", "unknown option '--root'"},
        {"idle --wallpaper", "unknown option '--wallpaper'"},
        {"/p", "/p needs a window handle (decimal or 0x hex)"},
        {"/p:", "/p needs a window handle (decimal or 0x hex)"},
        {"/p 12x", "/p needs a window handle (decimal or 0x hex), not '12x'"},
        {"/c:", "/c needs a window handle (decimal or 0x hex), not ''"},
        {"/x", "unknown option '/x'"},
        {"/scr", "unknown option '/scr'"},
        {"/s -S", "/s given twice"},
        {"/s /p 5", "/s, /p and /c exclude each other"},
        {"/s --choose 3", "--choose works with /c only"},
        {"/c --choose nobody",
         "--choose needs 'clock', a community name or a number 0..9, not 'nobody'"},
        {"/s --draw fast", "--draw needs auto, opengl or gdi, not 'fast'"},
        {"/s --habitat", "--habitat needs a file name"},
        {"/s --root", "unknown option '--root'"},
        {"--wallpaper --window", "--wallpaper and --window exclude each other"},
        // Whole lines: outputs that cannot all go to standard output, a write error on it.
        {kRun + " --habitat - --png -",
         "lumivor render: --habitat and --png cannot both go to standard output\n"},
        {kRun + " --habitat - --final-state",
         "lumivor render: --final-state and --habitat cannot both go to standard output\n"},
        {"--help bogus",
         "lumivor: --help takes no arguments, not 'bogus' (see 'lumivor --help')\n"},
        {kRun + " --quiet --final-state >/dev/full", kFull},
        {"render --help >/dev/full", kFull},
    };
    for (const auto& [line, error] : cases) {
        if (line[0] == '/') {  // lumivor.scr's
            std::istringstream words(line);
            ScrArgs scr;
            EXPECT_EQ(Parse(ParseScrArgs, {std::istream_iterator<std::string>(words), {}}, &scr),
                      error);
            continue;
        }
        const std::string command = line.substr(0, line.find(' '));
        const std::string help = command == "render" ? "render --help"
                                 : command == "idle" ? "idle --help"
                                                     : "--help-window";
        const LumivorRun r = RunLumivor(line);
        EXPECT_EQ(r.status, error == kFull ? 1 : 2) << line;
        EXPECT_EQ(r.err, error.back() == '\n'
                             ? error
                             : (command == "render" ? "lumivor render: " : "lumivor: ") + error +
                                   " (see 'lumivor " + help + "')\n");
        EXPECT_EQ(r.out, "") << line;
    }
}

// The saver's switches in every form Windows sends them (its options at work are the Wine
// tests'); a window id with a leading zero is decimal, not octal.
TEST(Options, SwitchesInEveryFormWindowsSends) {
    ScrArgs a;
    EXPECT_EQ(Parse(ParseScrArgs, {}, &a), "");
    EXPECT_TRUE(a.mode == ScrMode::kSettings && a.handle == 0 && a.choose == -2);
    for (const char* s : {"/s", "/S", "-s", "-S"}) {
        EXPECT_EQ(Parse(ParseScrArgs, {s}, &a), "") << s;
        EXPECT_TRUE(a.mode == ScrMode::kFullScreen) << s;
    }
    const std::pair<std::vector<std::string>, unsigned long long> previews[] = {
        {{"/p", "1234"}, 1234}, {{"-P:0x10"}, 16}, {{"/p:77"}, 77}};
    for (const auto& [args, handle] : previews) {
        EXPECT_EQ(Parse(ParseScrArgs, args, &a), "") << args[0];
        EXPECT_TRUE(a.mode == ScrMode::kPreview && a.handle == handle) << args[0];
    }
    EXPECT_EQ(Parse(ParseScrArgs, {"/c:77"}, &a), "");
    EXPECT_TRUE(a.mode == ScrMode::kSettings && a.handle == 77);
    EXPECT_EQ(Parse(ParseScrArgs, {"/C", "--choose", "Clock"}, &a), "");
    EXPECT_TRUE(a.handle == 0 && a.choose == -1);
    EXPECT_EQ(Parse(ParseScrArgs, {"-c", "--choose", "9"}, &a), "");
    EXPECT_EQ(a.choose, 9);
    EXPECT_EQ(Parse(ParseScrArgs, {"/c", "-choose", "FIJNWERK"}, &a), "");
    EXPECT_EQ(a.choose, 3);
    EXPECT_EQ(Parse(ParseScrArgs, {"/s", "--draw", "gdi", "--quiet"}, &a), "");
    EXPECT_TRUE(a.window.job.present == PresentChoice::kParts && a.window.quiet);
    WindowArgs window;
    EXPECT_EQ(Parse(ParseWindowArgs, {"--window-id", "010"}, &window), "");
    EXPECT_EQ(window.job.window_id, 10u);
    // lumivor idle's durations, and the saver it runs: over the screen, at the saver's pace.
    for (const auto& [given, seconds] : std::vector<std::pair<std::string, long long>>{
             {"", 300}, {"300", 300}, {"90s", 90}, {"5m", 300}, {"24h", 86400}}) {
        IdleArgs idle;
        const std::vector<std::string> args =
            given.empty() ? std::vector<std::string>{} : std::vector<std::string>{"--after", given};
        EXPECT_EQ(Parse(ParseIdleArgs, args, &idle), "") << given;
        EXPECT_EQ(idle.after_seconds, seconds) << given;
        EXPECT_TRUE(idle.window.job.covers_screen && idle.window.job.ticks_per_second == 75);
    }
}

// --help, --help-window (one dash or two) and the manual page list the same options with the
// same arguments; --quiet does not silence them.
TEST(Cli, HelpAndManualPageListTheSameOptions) {
    const std::string man = ReadFile(LUMIVOR_SOURCE_DIR "/packaging/lumivor.6");
    ASSERT_FALSE(man.empty());
    const struct {
        std::string line, section;
        size_t at_least;  // read at all
    } commands[] = {{"render --help", "RENDER OPTIONS", 14},
                    {"-quiet -help-window", "WINDOW OPTIONS", 18},
                    {"idle -quiet --help", "IDLE OPTIONS", 14}};
    for (const auto& c : commands) {
        const LumivorRun run = RunLumivor(c.line);
        ASSERT_EQ(run.status, 0) << c.line;
        const auto help = Listed(run.out);
        EXPECT_GE(help.size(), c.at_least) << c.line;
        EXPECT_EQ(Listed(man, c.section), help) << c.line;
    }
    EXPECT_EQ(RunLumivor("--version").out.rfind("lumivor ", 0), 0u);
}

// Outputs go through the file writer, and a standard stream by any name is that stream: standard
// output as "-" is (the picture whole, the world's lines on standard error, one output per stream,
// a pipe too), standard input never an output, and all of it decided before the first tick.
TEST(Cli, StandardStreamsByAnyName) {
    const TempFolder dir;
    const std::string want = dir / "want.png", got = Quoted(dir / "got.png");
    // Outputs go through the file writer (links, other names and the rest: its own test): a FIFO
    // gets the bytes, not a new file in its place.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int fifo = open((dir / "fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_EQ(RunLumivor(kRun + " --png " + Quoted(want) + " --habitat " + Quoted(dir / "want.ppm"))
                  .status,
              0);
    EXPECT_EQ(RunLumivor(kRun + " --quiet --png " + Quoted(dir / "fifo")).status, 0);
    std::string png(65536, '\0');
    png.resize(std::max<ssize_t>(read(fifo, png.data(), png.size()), 0));
    EXPECT_TRUE(png == ReadFile(want)) << "the PNG in the FIFO differs";
    close(fifo);
    for (const std::string name : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        SCOPED_TRACE(name);
        LumivorRun r = RunLumivor(kRun + " --png " + name + " >" + got);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(ReadFile(dir / "got.png") == ReadFile(want)) << "messages mixed in";
        EXPECT_NE(r.err.find("community '"), std::string::npos) << r.err;
        r = RunLumivor(kRun + " --quiet --habitat " + name + " | cat >" + got);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(ReadFile(dir / "got.png") == ReadFile(dir / "want.ppm")) << "through a pipe";
        EXPECT_EQ(RunLumivor(kRun + " --png - --habitat " + name).status, 2);
    }
    EXPECT_TRUE(fs::is_symlink("/dev/stdout")) << "/dev/stdout was replaced";
    WriteFile(dir / "in.txt", "keep");
    for (const std::string name : {"/dev/stdin", "/dev/fd/0"}) {
        const LumivorRun r =
            RunLumivor(kRun + " --habitat " + name + " <" + Quoted(dir / "in.txt"));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("standard input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(dir / "in.txt"), "keep");
    const std::string from = "render --no-gl --quiet --seed 7 --ticks 9 --habitat - --start-from ";
    EXPECT_EQ(RunLumivor(from + "- <" + Quoted(want)).out, RunLumivor(from + Quoted(want)).out)
        << "a PNG on standard input, read as it comes";
    // A descriptor's name is that descriptor, whatever file it shares with the others.
    EXPECT_EQ(RunLumivor(kRun + " --quiet --trace /dev/stdout </dev/null >/dev/null").status, 0);
    // A closed standard stream never receives what goes to a file opened after it (an output
    // that names it fails early: the next test's).
    for (const std::string closed : {" >&-", " 2>&-", " <&-"}) {
        const LumivorRun r =
            RunLumivor(kRun + " --png " + got + " --habitat " + Quoted(dir / "got.ppm") + closed);
        EXPECT_EQ(r.status, 0) << closed;
        EXPECT_TRUE(ReadFile(dir / "got.png") == ReadFile(want)) << closed;
        EXPECT_TRUE(ReadFile(dir / "got.ppm") == ReadFile(dir / "want.ppm")) << closed;
    }
}

// A run that fails before its first tick leaves every output as it was: outputs that are one
// file (by name, symbolic link or hard link), or the picture the run starts from, are a usage
// error before anything is touched. "-" is the standard stream for every path option, and a
// file named "-" a file.
TEST(Cli, EarlyFailuresChangeNothingAndDashIsAStream) {
    const TempFolder dir;
    const std::string f = dir / "f", g = dir / "g", also_g = dir / "./g";
    WriteFile(f, "old f");
    fs::create_symlink(f, dir / "link");
    fs::create_hard_link(f, dir / "hard");
    for (const std::string& other :
         {"--trace " + Quoted(f), "--png " + Quoted(dir / "link"), "--png " + Quoted(dir / "hard"),
          "--start-from " + Quoted(f)}) {
        const LumivorRun r = RunLumivor(kRun + " --habitat " + Quoted(f) + " " + other);
        EXPECT_EQ(r.status, 2) << other << r.err;
        EXPECT_EQ(ReadFile(f), "old f");
    }
    EXPECT_EQ(RunLumivor(kRun + " --habitat " + Quoted(g) + " --png " + Quoted(also_g)).status, 2)
        << "a new file by two names";
    EXPECT_FALSE(fs::exists(g));
    // A device takes any number of outputs, also when standard output is that device.
    EXPECT_EQ(RunLumivor(kRun + " --habitat /dev/null --png /dev/null >/dev/null").status, 0);

    const std::string picture = dir / "p.ppm", notes = dir / "notes.txt";
    ASSERT_EQ(RunLumivor(kRun + " --habitat " + Quoted(picture)).status, 0);
    WriteFile(notes, "notes");
    // Failures (status 1) with the system's reason; `early`: before the world is built. The
    // file a run would have written stays as it was. A save that fails at the end says so
    // through the writer.
    const std::string missing = dir / "missing/q.ppm";
    const std::string no_folder =
        "lumivor render: cannot write " + missing + ": No such file or directory\n";
    const struct {
        std::string line, says;
        bool early = true;
    } failures[] = {
        {kRun + " --habitat " + Quoted(missing), no_folder},
        {kRun + " --png " + Quoted(missing), no_folder},
        {kRun + " --trace " + Quoted(missing), no_folder},
        {"render --no-gl --ticks 2 --size 10x10 --start-from " + Quoted(picture) + " --trace " +
             Quoted(notes),
         "incompatible size : habitat 10 x 10, file 60 x 40\n", false},
        {"render --size 32768x1 --png " + Quoted(dir / "big.png"),
         "larger than this OpenGL can draw"},
        {"render --no-gl --ticks 2 --habitat x.ppm --start-from " + Quoted(dir.path),
         "Is a directory"},
        {"render --no-gl --ticks 2 --habitat x.ppm --start-from " + Quoted(dir / "none"),
         "cannot open picture " + dir / "none" + ": No such file or directory\n"},
        {"render --no-gl --quiet --ticks 2 --habitat /dev/null --start-from - <&-",
         "lumivor render: cannot start from -: standard input is closed\n"},
        {kRun + " --habitat - >&-", "cannot write standard output: Bad file descriptor\n"},
        {kRun + " --habitat /dev/stdout >&-", "cannot write /dev/stdout: Bad file descriptor\n"},
        {kRun + " --habitat /dev/fd/9 >/dev/null", "cannot write /dev/fd/9: Bad file descriptor\n"},
        {"render --no-gl --ticks 2 --size 48x32 --habitat /dev/full",
         "could not write /dev/full\nSaveHabitat() fwrite(): No space left on device\n"
         "lumivor render: cannot save /dev/full\n",
         false},
    };
    for (const auto& c : failures) {
        const LumivorRun r = RunLumivor(c.line);
        EXPECT_EQ(r.status, 1) << c.line;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("InitCommunity") == std::string::npos, c.early) << r.err;
    }
    EXPECT_EQ(ReadFile(notes), "notes");

    const LumivorRun r =
        RunLumivor("render --no-gl --quiet --ticks 2 --start-from - --trace - <" + Quoted(picture));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("0 0 0 ", 0), 0u) << "the trace on standard output";
    EXPECT_EQ(RunLumivor("render --no-gl --quiet --ticks 2 --trace " + Quoted(dir / "-")).status,
              0);
    EXPECT_EQ(ReadFile(dir / "-").rfind("0 0 0 ", 0), 0u);
}
