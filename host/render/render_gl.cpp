// `lumivor render` with OpenGL: the saver view driven tick by tick on a headless
// EGL context, its surface written out as a PNG at the end.

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <memory>
#include <new>

#include "host/render/headless_gl.h"
#include "host/render/png_file.h"
#include "host/render/render.h"
#include "host/render/video_writer.h"
#include "host/shared/fbo_surface.h"
#include "host/shared/outputs.h"
#include "saver/saver_view.h"
#include "world/biotope.h"
#include "world/habitat_files.h"
#include "world/habitat_reader.h"

namespace {

// The largest surface side the current context can allocate and draw to.
int LargestSurfaceSide() {
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    int side = renderbuffer;
    if (viewport[0] < side) side = viewport[0];
    if (viewport[1] < side) side = viewport[1];
    return side;
}

// Hands the surface after `tick` ticks to the video when that tick makes a
// frame: the picture --png writes after as many ticks (without markers).
// `rgb` is the read-back buffer, allocated at the first frame.
bool AddSurfaceFrame(RenderVideo& video, unsigned long tick, FramebufferSurface& surface,
                     std::unique_ptr<uint8_t[]>& rgb) {
    if (!video.Wants(tick)) return true;
    if (!rgb)
        rgb.reset(new (std::nothrow)
                      uint8_t[static_cast<size_t>(surface.width) * surface.height * 3]);
    if (!rgb) return video.Fail("out of memory reading the picture back");
    surface.MakeCurrent();
    glFinish();
    surface.ReadRGB(rgb.get());
    return video.Add(rgb.get(), static_cast<size_t>(surface.width) * 3, true);
}

// Runs the job on a current context; returns the exit status.
int RunJob(const RenderJob& job, FramebufferSurface& surface, RenderVideo& video) {
    Lumivor_saverView view(
        SaverFrame{0, 0, {static_cast<double>(job.width), static_cast<double>(job.height)}}, false,
        &surface);
    view.start = job.start;
    view.startAnimation();
    if (surface.width != job.width || surface.height != job.height) return 1;  // reported
    if (!biotope.HasHabitat()) {
        std::fprintf(job.diag, "lumivor render: cannot build a %dx%d world\n", job.width,
                     job.height);
        return 1;
    }
    std::unique_ptr<uint8_t[]> frame;  // the surface read back for the video
    for (unsigned long tick = 0; tick < job.ticks; ++tick) {
        view.animateOneFrame();
        if (tick == 0 && job.start_picture != nullptr) {
            // The first tick cleared the surface; show the loaded picture on it.
            if (!LoadHabitatPicture(biotope, job.start_from.c_str(), *job.start_picture,
                                    kTopRowFirst)) {
                std::fprintf(job.diag, "lumivor render: cannot start from %s\n",
                             job.start_from.c_str());
                return 1;
            }
            biotope.DrawHabitat();
        } else if (tick == 1 && job.start_picture != nullptr) {
            // The first display of the process clears once more, wiping the loaded
            // picture: draw the display habitat again, which now holds the picture
            // with the first two updates on it, just as the surface would.
            biotope.DrawHabitat();
        }
        if (!AddSurfaceFrame(video, tick + 1, surface, frame)) return 1;
        if (job.progress) job.progress(tick + 1);
    }

    int status = 0;
    if (!SaveHabitatAtEnd(job.habitat_path, "lumivor render", job.diag)) status = 1;
    if (!job.png_path.empty()) {
        surface.MakeCurrent();
        if (job.markers) biotope.DrawInfo();
        const size_t bytes = static_cast<size_t>(surface.width) * surface.height * 3;
        std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[bytes]);
        if (!rgb) {
            std::fprintf(job.diag, "lumivor render: out of memory reading the picture back\n");
            return 1;
        }
        glFinish();
        surface.ReadRGB(rgb.get());
        const bool written =
            IsStandardOutput(job.png_path)
                ? WritePNGToStream(stdout, rgb.get(), surface.width, surface.height, job.diag)
                : WritePNG(job.png_path.c_str(), rgb.get(), surface.width, surface.height,
                           job.diag);
        if (!written) status = 1;
    }
    return status;
}

}  // namespace

int RenderWithGL(const RenderJob& job) {
    if (job.width <= 0 || job.height <= 0) {
        std::fprintf(job.diag, "lumivor render: invalid size %dx%d\n", job.width, job.height);
        return 1;
    }
    HeadlessContext context;
    if (!context.Create(job.diag)) return 1;
    // Refused before the world is built: a large world takes long to make, and
    // the surface could not hold it anyway.
    const int limit = LargestSurfaceSide();
    if (job.width > limit || job.height > limit) {
        std::fprintf(job.diag,
                     "lumivor render: %dx%d is larger than this OpenGL can draw (%d pixels a "
                     "side); use --no-gl\n",
                     job.width, job.height, limit);
        return 1;
    }
    FramebufferSurface surface([&context] { return context.MakeCurrent(); });
    surface.diag = job.diag;
    RenderVideo video;
    if (!video.Open(job)) return 1;
    int status = RunJob(job, surface, video);
    if (!video.Finish(status == 0)) status = 1;
    return status;
}
