// Fuzz target for the window options of `lumivor`, parsed without side effects as CheckParse
// says. An accepted command line asks for help or names a window id that X can hold, a preset and
// tick count in range; its habitat file is settled as CheckSettled says.
#include "fuzz/harness.h"
#include "fuzz/settle.h"
#include "host/shared/options.h"

namespace {

bool CanRun(const WindowArgs& args) {
    const WindowJob& job = args.job;
    return args.help ||
           ((!job.have_window_id || (job.window_id >= 1 && job.window_id <= 0xffffffffUL)) &&
            job.start.community >= -1 && job.start.community <= 9 && job.start.clock.reading >= 0 &&
            job.ticks <= static_cast<unsigned long>(kMaxTicks));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<WindowArgs> args =
        CheckParse<WindowArgs>("lumivor", data, size, ParseWindowArgs, CanRun);
    if (args) CheckSettled({{"--habitat", &args->job.habitat_path}}, "", nullptr);
    return 0;
}
