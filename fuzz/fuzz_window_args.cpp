// Fuzz target for the window options of `lumivor`: the input is split at line
// ends into arguments after the program name and parsed without side effects.
// Checked on every input: a refusal comes with a one-line reason; an accepted
// command line names a window id that X can hold, a preset and tick count in
// range; parsing the same arguments again gives the same result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/options.h"
#include "fuzz/arg_words.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameJob(const WindowArgs& a, const WindowArgs& b) {
    const WindowJob& x = a.job;
    const WindowJob& y = b.job;
    return a.help == b.help && a.quiet == b.quiet && x.start.community == y.start.community &&
           x.start.clock.reading == y.start.clock.reading &&
           x.start.clock.fixed == y.start.clock.fixed && x.root == y.root &&
           x.have_window_id == y.have_window_id && x.window_id == y.window_id &&
           x.display_name == y.display_name && x.fps == y.fps && x.ticks == y.ticks &&
           x.habitat_path == y.habitat_path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArgWords args("lumivor", data, size);
    if (args.argc() > 256) return 0;

    WindowArgs parsed;
    std::string error;
    const bool ok = ParseWindowArgs(args.argc(), args.argv.data(), &parsed, &error);
    WindowArgs again;
    std::string error_again;
    Check(ParseWindowArgs(args.argc(), args.argv.data(), &again, &error_again) == ok);
    if (!ok) {
        Check(!error.empty() && error == error_again && error.find('\n') == std::string::npos);
        return 0;
    }
    Check(SameJob(parsed, again));
    if (parsed.help) return 0;
    const WindowJob& job = parsed.job;
    if (job.have_window_id) Check(job.window_id >= 1 && job.window_id <= 0xffffffffUL);
    Check(job.start.community >= -1 && job.start.community <= 9);
    Check(job.start.clock.reading >= 0);
    Check(job.ticks <= static_cast<unsigned long>(kMaxTicks));
    return 0;
}
