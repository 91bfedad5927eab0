// `lumivor render --no-gl`: the saver's heart with cell marks for its drawing,
// as fast as it can. Its PNG is the display habitat, which a drawn surface
// equals pixel for pixel. Needs neither a window system nor OpenGL.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/render/cell_marks.h"
#include "host/render/render.h"
#include "host/render/video_writer.h"
#include "host/shared/outputs.h"
#include "image/file_writer.h"
#include "saver/saver.h"
#include "world/biotope.h"
#include "world/habitat_files.h"
#include "world/habitat_reader.h"
#ifdef LUMIVOR_HAVE_PNG
#include "host/render/png_file.h"
#endif

namespace {

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
// frame: the marked cells are repainted first (and their marks cleared), so
// that the frame is the picture --png writes after as many ticks.
bool AddVideoFrame(RenderVideo& video, unsigned long tick, CellMarks& marks) {
    if (!video.Wants(tick)) return true;
    marks.Repaint(biotope);
    const Image& rgb = biotope.rgb_habitat;
    return video.Add(rgb.data, static_cast<size_t>(rgb.width) * 3, true);
}

// Writes one line per bot step to the trace file while it runs; returns the
// exit status.
int Run(const RenderJob& job, RenderVideo& video) {
    Saver saver;
    saver.start = job.start;
    saver.Start(job.width, job.height);
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
    // The trace goes through the file writer like every other file, opened
    // only now that the run starts: complete, or not there at all.
    FileWriter trace;
    if (!job.trace_path.empty()) {
        const bool opened = IsStandardOutput(job.trace_path) ? trace.Open(stdout)
                                                             : trace.Open(job.trace_path.c_str());
        if (!opened) {
            std::fprintf(job.diag, "lumivor render: cannot write %s: %s\n", job.trace_path.c_str(),
                         std::strerror(trace.Error()));
            return 1;
        }
        saver.trace = trace.Stream();
    }
    // A traced run takes the traced walks, which record every trail colour.
    CellMarks marks;
    if (saver.trace == nullptr) marks.Create(biotope);
    for (unsigned long tick = 0; tick < job.ticks; ++tick) {
        saver.Tick(marks);
        if (!AddVideoFrame(video, tick + 1, marks)) return 1;
        if (job.progress) job.progress(tick + 1);
    }
    marks.Repaint(biotope);
    int status = 0;
    if (!SaveHabitatAtEnd(job.habitat_path, "lumivor render", job.diag)) status = 1;
    if (!job.png_path.empty() && !WriteHabitatPNG(job)) status = 1;
    if (job.final_state) PrintFinalState();
    // The trace is kept with a run that succeeded (the writer drops it otherwise).
    if (saver.trace != nullptr && status == 0 && !trace.Commit()) {
        std::fprintf(job.diag, "lumivor render: cannot write %s: %s() failed: %s\n",
                     job.trace_path.c_str(), trace.FailedCall(), std::strerror(trace.Error()));
        status = 1;
    }
    return status;
}

}  // namespace

int RenderWithoutGL(const RenderJob& job) {
    // The video is begun before the first tick, so that a target that cannot
    // be written is refused before the run, and ended after it.
    RenderVideo video;
    if (!video.Open(job)) return 1;
    int status = Run(job, video);
    if (!video.Finish(status == 0)) status = 1;
    return status;
}
