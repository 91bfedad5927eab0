// `lumivor render --no-gl`: the saver's world alone, started by the frame
// driver's GL-free start and run by the world's own update, as fast as it can.
// Its PNG is the display habitat, which a drawn surface equals pixel for pixel.
// Needs neither a window system nor OpenGL at run time.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "colour/random_tovi.h"
#include "host/host.h"
#include "host/outputs.h"
#include "host/render/video_writer.h"
#include "image/file_writer.h"
#include "saver/frame_driver.h"
#include "saver/start.h"
#include "world/biotope.h"
#include "world/habitat_files.h"
#include "world/habitat_reader.h"
#include "world/trace.h"
#ifdef LUMIVOR_HAVE_PNG
#include "host/png_file.h"
#endif

namespace {

void PrintFinalState() {
    std::printf("final n_updates=%lu bots=", biotope.n_updates);
    for (unsigned long b = 0; b < biotope.n_bots; ++b) {
        const Bot& bot = biotope.bots[b];
        std::printf("%s%d,%d,%ld,%ld", b == 0 ? "" : " ", bot.x, bot.y, bot.value, bot.dir);
    }
    std::printf(" next_random=%ld\n", random_tovi());
}

// The display habitat as a PNG: its rows are bottom-first, as OpenGL reads a surface back.
bool WriteHabitatPNG(const RenderJob& job) {
#ifdef LUMIVOR_HAVE_PNG
    const Image& rgb = biotope.rgb_habitat;
    const int w = static_cast<int>(rgb.width), h = static_cast<int>(rgb.height);
    if (IsStandardOutput(job.png_path)) return WritePNGToStream(stdout, rgb.data, w, h, job.diag);
    return WritePNG(job.png_path.c_str(), rgb.data, w, h, job.diag);
#else
    std::fprintf(job.diag, "lumivor render: this build cannot write PNG files\n");
    return false;
#endif
}

// Hands the display after `tick` ticks to the video when that tick makes a
// frame. Marked cells are repainted first, and their marks cleared, so that
// the frame is the picture --png writes after as many ticks.
bool AddVideoFrame(RenderVideo& video, unsigned long tick, Image* marks) {
    if (!video.Wants(tick)) return true;
    if (marks != nullptr) {
        biotope.RepaintDisplay(*marks);
        marks->Clear();
    }
    const Image& rgb = biotope.rgb_habitat;
    return video.Add(rgb.data, static_cast<size_t>(rgb.width) * 3, true);
}

// The run once the trace file is open; returns the exit status.
int Run(const RenderJob& job, std::FILE* trace, RenderVideo& video) {
    const FixedStart fixed(job.start);
    StartWorld(job.width, job.height);
    if (!biotope.HasHabitat()) {
        std::fprintf(job.diag, "lumivor render: cannot build a %dx%d world\n", job.width,
                     job.height);
        return 1;
    }
    if (job.start_picture != nullptr &&
        !LoadHabitatPicture(biotope, job.start_from.c_str(), *job.start_picture, kTopRowFirst)) {
        std::fprintf(job.diag, "lumivor render: cannot start from %s\n", job.start_from.c_str());
        return 1;
    }
    // Nothing here draws the trails and the display is read only at the end:
    // the cells of the bots' trails are marked instead of painted, and the
    // display is rebuilt at the marked cells once, at the end. Without room
    // for the marks the saver's update paints as it goes, to the same picture.
    Image painted;
    const bool marking = trace == nullptr &&
                         painted.Create(biotope.hsl_habitat.width, biotope.hsl_habitat.height, 8) &&
                         painted.Clear();
    if (!AddVideoFrame(video, 1, marking ? &painted : nullptr)) return 1;
    // The first tick only sets up the projection and clears; every later tick
    // runs two updates.
    for (unsigned long tick = 1; tick < job.ticks; ++tick) {
        if (trace != nullptr) {
            UpdateTraced(trace);
            UpdateTraced(trace);
        } else if (marking) {
            biotope.UpdateHabitat(&painted);
            biotope.UpdateHabitat(&painted);
        } else {
            biotope.Update();
            biotope.Update();
        }
        if (!AddVideoFrame(video, tick + 1, marking ? &painted : nullptr)) return 1;
        if (job.progress) job.progress(tick + 1);
    }
    if (marking) biotope.RepaintDisplay(painted);
    int status = 0;
    if (!SaveRenderedHabitat(job.habitat_path, job.diag)) status = 1;
    if (!job.png_path.empty() && !WriteHabitatPNG(job)) status = 1;
    if (job.final_state) PrintFinalState();
    return status;
}

}  // namespace

int RenderWithoutGL(const RenderJob& job) {
    if (!CheckOutputs({job.habitat_path, job.png_path, job.trace_path, job.video_path},
                      "lumivor render", job.diag))
        return 1;
    // The trace goes through the file writer like every other file: complete
    // or not there at all.
    FileWriter trace;
    if (!job.trace_path.empty() && !trace.Open(job.trace_path.c_str())) {
        std::fprintf(job.diag, "lumivor render: cannot write %s: %s\n", job.trace_path.c_str(),
                     std::strerror(trace.Error()));
        return 1;
    }
    RenderVideo video;
    if (!video.Open({job.video_path, job.width, job.height, job.video_fps, job.video_lossless},
                    job.ticks, job.video_every, job.diag))
        return 1;
    int status = Run(job, trace.Stream(), video);
    if (!video.Finish(status == 0)) status = 1;
    if (!job.trace_path.empty()) {
        if (status != 0) {
            trace.Abandon();
        } else if (!trace.Commit()) {
            std::fprintf(job.diag, "lumivor render: cannot write %s: %s() failed: %s\n",
                         job.trace_path.c_str(), trace.FailedCall(), std::strerror(trace.Error()));
            status = 1;
        }
    }
    return status;
}
