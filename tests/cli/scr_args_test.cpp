// The Windows saver's command line through the shared option table: the
// switches in every form Windows sends them, and its refusals, worded as on Linux.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

// Parses `args` (after the program's name); the error, or "" on success.
std::string Parse(std::vector<std::string> args, ScrArgs* out) {
    args.insert(args.begin(), "lumivor.scr");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::string error;
    return ParseScrArgs(static_cast<int>(argv.size()), argv.data(), out, &error) ? "" : error;
}

}  // namespace

TEST(ScrArgs, SwitchesInEveryFormWindowsSends) {
    ScrArgs a;
    EXPECT_EQ(Parse({}, &a), "");
    EXPECT_TRUE(a.mode == ScrMode::kSettings && a.handle == 0 && a.choose == -2);
    for (const char* s : {"/s", "/S", "-s", "-S"}) {
        EXPECT_EQ(Parse({s}, &a), "") << s;
        EXPECT_TRUE(a.mode == ScrMode::kFullScreen) << s;
    }
    const std::pair<std::vector<std::string>, unsigned long long> previews[] = {
        {{"/p", "1234"}, 1234}, {{"-P:0x10"}, 16}, {{"/p:77"}, 77}};
    for (const auto& [args, handle] : previews) {
        EXPECT_EQ(Parse(args, &a), "") << args[0];
        EXPECT_TRUE(a.mode == ScrMode::kPreview && a.handle == handle) << args[0];
    }
    EXPECT_EQ(Parse({"/c:77"}, &a), "");
    EXPECT_TRUE(a.mode == ScrMode::kSettings && a.handle == 77);
    EXPECT_EQ(Parse({"/C", "--choose", "Clock"}, &a), "");
    EXPECT_TRUE(a.handle == 0 && a.choose == -1);
    EXPECT_EQ(Parse({"-c", "--choose", "9"}, &a), "");
    EXPECT_EQ(a.choose, 9);
    EXPECT_EQ(Parse({"/c", "-choose", "FIJNWERK"}, &a), "");
    EXPECT_EQ(a.choose, 3);

    EXPECT_EQ(Parse({"/s", "--preset", "3", "--seed", "98765432109876", "--ticks", "20",
                     "--habitat", "h.ppm", "--draw", "gdi", "--fps", "--quiet"},
                    &a),
              "");
    const WindowJob& job = a.window.job;
    EXPECT_TRUE(job.start.community == 3 && job.start.clock.fixed &&
                job.start.clock.reading == 98765432109876 && job.ticks == 20 &&
                job.habitat_path == "h.ppm" && job.present == PresentChoice::kParts && job.fps &&
                a.window.quiet);
    EXPECT_EQ(Parse({"/s", "--draw", "opengl"}, &a), "");
    EXPECT_TRUE(a.window.job.present == PresentChoice::kFull && a.window.job.start.community == -1);
}

TEST(ScrArgs, RefusalsNameTheSwitchAsGiven) {
    ScrArgs a;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/p"}, "/p needs a window handle (decimal or 0x hex)"},
        {{"/p:"}, "/p needs a window handle (decimal or 0x hex)"},
        {{"/p", "12x"}, "/p needs a window handle (decimal or 0x hex), not '12x'"},
        {{"/c:"}, "/c needs a window handle (decimal or 0x hex), not ''"},
        {{"/x"}, "unknown option '/x'"},
        {{"/scr"}, "unknown option '/scr'"},
        {{"/s", "-S"}, "/s given twice"},
        {{"/s", "/p", "5"}, "/s, /p and /c exclude each other"},
        {{"/s", "--choose", "3"}, "--choose works with /c only"},
        {{"/c", "--choose", "nobody"},
         "--choose needs 'clock', a community name or a number 0..9, not 'nobody'"},
        {{"/s", "--draw", "fast"}, "--draw needs auto, opengl or gdi, not 'fast'"},
        // The options Linux has too, with its words.
        {{"/s", "--preset", "10"}, "--preset needs a community number 0..9, not '10'"},
        {{"/s", "--seed", "-1"}, "--seed needs a clock reading (a non-negative integer), not '-1'"},
        {{"/s", "--ticks", "0"}, "--ticks needs a tick count 1..1000000000, not '0'"},
        {{"/s", "--habitat"}, "--habitat needs a file name"},
        {{"/s", "--root"}, "unknown option '--root'"},
    };
    for (const auto& [args, error] : cases) EXPECT_EQ(Parse(args, &a), error) << args.back();
}
