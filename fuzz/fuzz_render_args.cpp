// Fuzz target for the arguments of `lumivor render`: the input is split at
// line ends into arguments after "render" and parsed without side effects.
// Checked on every input: a refusal comes with a reason; an accepted command
// line describes a job that can run (sizes, preset and tick count in range,
// the options that need or exclude GL rendering consistent); parsing the same
// arguments again gives the same result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/render_command.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameJob(const RenderArgs& a, const RenderArgs& b) {
    const RenderJob& x = a.job;
    const RenderJob& y = b.job;
    return a.help == b.help && a.no_gl == b.no_gl && a.seed_given == b.seed_given &&
           a.size_given == b.size_given && x.start.preset == y.start.preset && x.start.seed == y.start.seed &&
           x.width == y.width && x.height == y.height && x.ticks == y.ticks &&
           x.habitat_path == y.habitat_path && x.png_path == y.png_path &&
           x.start_from == y.start_from && x.markers == y.markers && x.trace_path == y.trace_path &&
           x.final_state == y.final_state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words = {"render"};
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty()) words.push_back(word);
    if (words.size() > 256) return 0;

    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    RenderArgs args;
    std::string error;
    const bool ok = ParseRenderArgs(argc, argv.data(), &args, &error);
    RenderArgs again;
    std::string error_again;
    Check(ParseRenderArgs(argc, argv.data(), &again, &error_again) == ok);
    if (!ok) {
        Check(!error.empty() && error == error_again);
        return 0;
    }
    Check(SameJob(args, again));
    if (args.help) return 0;
    const RenderJob& job = args.job;
    Check(job.width >= 1 && job.width <= kMaxSide && job.height >= 1 && job.height <= kMaxSide);
    Check(job.start.preset >= -1 && job.start.preset <= 9);
    Check(job.start.seed >= 0);
    Check(job.ticks >= 1 && job.ticks <= 1000000000ul);
    if (args.no_gl) Check(job.png_path.empty() && !job.markers);
    if (!args.no_gl) Check(job.trace_path.empty());
    return 0;
}
