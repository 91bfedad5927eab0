// `lumivor render`: runs the saver's world for a number of ticks without a
// window, as fast as it can, and writes the result to files. This file only
// parses and dispatches; the renderers live in host/.

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "cli/commands.h"
#include "cli/progress.h"
#include "host/render/picture_reader.h"
#include "host/render/render.h"
#include "host/shared/options.h"
#include "host/shared/outputs.h"
#include "world/habitat_reader.h"

namespace {

const char kRenderUsage[] =
    "usage: lumivor render [options]\n"
    "Runs the saver without a window and writes the picture to files.\n"
    "Options take one dash or two.\n"
    "\n";

int UsageError(const std::string& what) {
    std::fprintf(stderr, "lumivor render: %s (see 'lumivor render --help')\n", what.c_str());
    return 2;
}

}  // namespace

int RenderCommand(int argc, char** argv) {
    RenderArgs args;
    std::string error;
    if (!ParseRenderArgs(argc, argv, &args, &error)) return UsageError(error);
    if (args.help) {
        std::fputs(kRenderUsage, stdout);
        PrintOptions(kRenderCommand, stdout);
        return 0;
    }
    RenderJob& job = args.job;
    // What the outputs name is settled before anything runs; every name of
    // standard output becomes "-".
    const int settled =
        SettleRunOutputs({{"--habitat", &job.habitat_path},
                          {"--png", &job.png_path},
                          {"--trace", &job.trace_path},
                          {"--video", &job.video_path}},
                         job.start_from.c_str(), job.final_state ? "--final-state" : nullptr,
                         args.quiet, "lumivor render", stderr);
    if (settled != 0) return settled;
    // A render always runs from one clock reading, so that its three readings agree.
    if (!args.seed_given) job.start.clock = StartClock::Fixed(std::time(nullptr));
    // The picture to start from is read once, so that a pipe works too ("-":
    // standard input); without --size the world takes its size.
    HabitatPicture start_picture;
    if (!job.start_from.empty()) {
        if (!ReadStartPicture(job.start_from.c_str(), &start_picture)) {
            std::fprintf(stderr, "lumivor render: cannot start from %s\n", job.start_from.c_str());
            return 1;
        }
        if (!args.size_given) {
            job.width = start_picture.width;
            job.height = start_picture.height;
        }
        job.start_picture = &start_picture;
    }
    // One progress bar for both renderers, on a terminal only and never when quiet.
    Progress progress(isatty(STDERR_FILENO) != 0 && !args.quiet ? stderr : nullptr, job.ticks);
    if (!job.video_path.empty()) progress.CountFrames(job.video_every);
    job.progress = [&progress](unsigned long done) { progress.Show(done); };
    int status = 1;
    if (args.no_gl) {
        status = RenderWithoutGL(job);
    } else {
#ifdef LUMIVOR_HAVE_GL_RENDERER
        status = RenderWithGL(job);
#else
        std::fprintf(stderr, "lumivor render: this build has no OpenGL renderer; use --no-gl\n");
#endif
    }
    progress.Finish();
    return status;
}
