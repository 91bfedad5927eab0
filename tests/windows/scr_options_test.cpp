// The saver's command line as Windows and the tests give it. Prints one line per
// failed check and exits non-zero when any failed.
#include "host/windows/scr_options.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

// Parses the given arguments (after the program name); diagnostics go to a null stream.
bool Parse(std::initializer_list<const char*> args, ScrOptions* o) {
    std::vector<const char*> argv{"lumivor.scr"};
    argv.insert(argv.end(), args);
    std::FILE* null = std::fopen("NUL", "w");
    const bool ok = ParseScrOptions(static_cast<int>(argv.size()), argv.data(), o,
                                    null != nullptr ? null : stderr);
    if (null != nullptr) std::fclose(null);
    return ok;
}

}  // namespace

int main() {
    ScrOptions o;
    Check(Parse({}, &o) && o.mode == ScrMode::kSettings && o.window == 0,
          "no argument opens the settings");
    Check(Parse({"/S"}, &o) && o.mode == ScrMode::kFullScreen, "/S runs full screen");
    Check(Parse({"-s"}, &o) && o.mode == ScrMode::kFullScreen, "-s runs full screen");
    Check(Parse({"/p", "1234"}, &o) && o.mode == ScrMode::kPreview && o.window == 1234,
          "/p 1234 previews in window 1234");
    Check(Parse({"-P:0x10"}, &o) && o.mode == ScrMode::kPreview && o.window == 16,
          "-P:0x10 previews in window 16");
    Check(Parse({"/c:77"}, &o) && o.mode == ScrMode::kSettings && o.window == 77,
          "/c:77 opens the settings owned by window 77");
    Check(Parse({"/C", "--choose", "Clock"}, &o) && o.choose == -1, "--choose clock");
    Check(Parse({"/c", "--choose", "9"}, &o) && o.choose == 9, "--choose by number");
    Check(!Parse({"/p"}, &o), "/p without a window is refused");
    Check(!Parse({"/p:"}, &o), "/p: without a window is refused");
    Check(!Parse({"/p", "12x"}, &o), "/p with a bad handle is refused");
    Check(!Parse({"/c", "--choose", "nobody"}, &o), "an unknown community is refused");
    Check(!Parse({"/x"}, &o), "an unknown switch is refused");
    Check(!Parse({"/s", "--preset", "10"}, &o), "preset 10 is refused");
    Check(!Parse({"/s", "--seed", "-1"}, &o), "a negative seed is refused");
    Check(!Parse({"/s", "--ticks", "0"}, &o), "zero ticks are refused");
    Check(!Parse({"/s", "--habitat"}, &o), "--habitat without a file is refused");
    Check(Parse({"/s", "--preset", "3", "--seed", "1765000000", "--ticks", "20", "--habitat",
                 "h.ppm"},
                &o) &&
              o.preset_given && o.start.preset == 3 && o.start.fixed_seed &&
              o.start.seed == 1765000000 && o.ticks == 20 && o.habitat_path == "h.ppm",
          "the options of a reproducible run");
    if (failures == 0) std::printf("scr_options_test: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
