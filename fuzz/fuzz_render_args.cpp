// Fuzz target for the arguments of `lumivor render`: the input is split at
// line ends into arguments after "render" and parsed without side effects.
// Checked on every input: a refusal comes with a reason; an accepted command
// line describes a job that can run (sizes, preset and tick count in range,
// the options that need or exclude GL rendering consistent, something to
// write, at most one picture on standard output); parsing the same arguments
// again gives the same result.
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

bool SameJob(const RenderArgs& a, const RenderArgs& b) {
    const RenderJob& x = a.job;
    const RenderJob& y = b.job;
    return a.help == b.help && a.quiet == b.quiet && a.no_gl == b.no_gl &&
           a.seed_given == b.seed_given && a.size_given == b.size_given &&
           x.start.community == y.start.community &&
           x.start.clock.reading == y.start.clock.reading &&
           x.start.clock.fixed == y.start.clock.fixed && x.width == y.width &&
           x.height == y.height && x.ticks == y.ticks && x.habitat_path == y.habitat_path &&
           x.png_path == y.png_path && x.start_from == y.start_from && x.markers == y.markers &&
           x.trace_path == y.trace_path && x.final_state == y.final_state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArgWords args("render", data, size);
    if (args.argc() > 256) return 0;

    RenderArgs parsed;
    std::string error;
    const bool ok = ParseRenderArgs(args.argc(), args.argv.data(), &parsed, &error);
    RenderArgs again;
    std::string error_again;
    Check(ParseRenderArgs(args.argc(), args.argv.data(), &again, &error_again) == ok);
    if (!ok) {
        Check(!error.empty() && error == error_again && error.find('\n') == std::string::npos);
        return 0;
    }
    Check(SameJob(parsed, again));
    if (parsed.help) return 0;
    const RenderJob& job = parsed.job;
    Check(job.width >= 1 && job.width <= kMaxSide && job.height >= 1 && job.height <= kMaxSide);
    Check(job.start.community >= -1 && job.start.community <= 9);
    Check(job.start.clock.reading >= 0);
    Check(job.ticks >= 1 && job.ticks <= static_cast<unsigned long>(kMaxTicks) * 1000);
    if (parsed.no_gl) Check(!job.markers);
    if (!parsed.no_gl) Check(job.trace_path.empty() && !job.final_state);
    Check(!job.habitat_path.empty() || !job.png_path.empty() || !job.trace_path.empty() ||
          job.final_state);
    Check(!(job.habitat_path == "-" && job.png_path == "-"));
    return 0;
}
