// Fuzz target for the option table: each input, split at line ends into arguments, is parsed
// without side effects as CheckParse says, both as `lumivor render` and as `lumivor` in a
// window. An accepted render asks for help or describes a job that can run: sizes, preset and
// tick count in range, the options that need or exclude GL rendering consistent, something to
// write. An accepted window command asks for help or names a window id that X can hold, a
// preset and tick count in range. The outputs of either are then settled as CheckSettled says.
#include "fuzz/harness.h"
#include "fuzz/settle.h"
#include "host/render/video_writer.h"
#include "host/shared/options.h"

namespace {

bool CanRender(const RenderArgs& args) {
    const RenderJob& job = args.job;
    VideoContainer container;
    std::string reason;
    if (args.help) return true;
    return job.width >= 1 && job.width <= kMaxSide && job.height >= 1 && job.height <= kMaxSide &&
           job.start.community >= -1 && job.start.community <= 9 && job.start.clock.reading >= 0 &&
           job.ticks >= 1 && job.ticks <= static_cast<unsigned long>(kMaxTicks) * 1000 &&
           (args.no_gl ? !job.markers : job.trace_path.empty() && !job.final_state) &&
           (!job.habitat_path.empty() || !job.png_path.empty() || !job.trace_path.empty() ||
            !job.video_path.empty() || job.final_state) &&
           job.video_every >= 1 && job.video_fps >= 0.1 && job.video_fps <= 1000 &&
           job.video_scale > 0 && job.video_scale <= 1 &&
           (job.video_scale == 1 || (!job.video_path.empty() && !job.video_lossless)) &&
           (job.video_path.empty() ||
            VideoContainerFor(job.video_path, job.video_lossless, &container, &reason));
}

bool CanShow(const WindowArgs& args) {
    const WindowJob& job = args.job;
    return args.help ||
           ((!job.have_window_id || (job.window_id >= 1 && job.window_id <= 0xffffffffUL)) &&
            job.start.community >= -1 && job.start.community <= 9 && job.start.clock.reading >= 0 &&
            job.ticks <= static_cast<unsigned long>(kMaxTicks));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (std::optional<RenderArgs> args =
            CheckParse<RenderArgs>("render", data, size, ParseRenderArgs, CanRender)) {
        RenderJob& job = args->job;
        CheckSettled({{"--habitat", &job.habitat_path},
                      {"--png", &job.png_path},
                      {"--trace", &job.trace_path},
                      {"--video", &job.video_path}},
                     job.start_from, job.final_state ? "--final-state" : nullptr);
    }
    if (std::optional<WindowArgs> args =
            CheckParse<WindowArgs>("lumivor", data, size, ParseWindowArgs, CanShow))
        CheckSettled({{"--habitat", &args->job.habitat_path}}, "", nullptr);
    return 0;
}
