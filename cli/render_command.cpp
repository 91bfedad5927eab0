// `lumivor render`: runs the saver's world for a number of ticks without a
// window, as fast as it can, and writes the result to files.

#include "cli/render_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "cli/args.h"
#include "cli/progress.h"
#include "colour/random_tovi.h"
#include "host/render_job.h"
#include "saver/frame_driver.h"
#include "saver/start.h"
#include "world/biotope.h"
#include "world/community.h"
#include "world/trace.h"
#ifdef LUMIVOR_HAVE_HOST
#include "host/host.h"
#endif

namespace {

const char kRenderUsage[] =
    "usage: lumivor render [options]\n"
    "Runs the saver without a window and writes the picture to files.\n"
    "\n"
    "  --preset N        community 0..9 (default: the seed mod 10, as the saver chooses)\n"
    "  --seed S          the clock reading at start: seeds the generator and the world\n"
    "                    (default: the real clock)\n"
    "  --size WxH        surface size in pixels (default 1920x1080; with --start-from,\n"
    "                    the picture's size)\n"
    "  --ticks T         animation ticks; the first only clears, every later tick runs\n"
    "                    two world updates (default 4500, one minute)\n"
    "  --minutes M       4500 x M ticks (75 ticks a second)\n"
    "  --habitat FILE    save the display habitat at the end as a binary PPM, top row first\n"
    "  --start-from FILE load a habitat PPM into the new world before the first update\n"
    "  --png FILE        write the rendered surface as a PNG (needs GL rendering)\n"
    "  --markers         draw every bot's marker on the PNG (not into the habitat file)\n"
    "  --no-gl           run the simulation only, without OpenGL\n"
    "  --trace FILE      with --no-gl: one line per bot step (update bot step x y value dir\n"
    "                    h s l r g b)\n"
    "  --final-state     with --no-gl: print the bots' final positions, values and headings\n"
    "                    and the next random number\n"
    "  --quiet           silence the system's own messages (errors are still shown)\n"
    "  --help            show this text\n";

int UsageError(std::FILE* diag, const std::string& what) {
    std::fprintf(diag, "lumivor render: %s (see 'lumivor render --help')\n", what.c_str());
    return 2;
}

// One update, step by step, writing a trace line per bot step.
void TracedUpdate(std::FILE* trace) { UpdateTraced(trace); }

void PrintFinalState() {
    std::printf("final n_updates=%lu bots=", biotope.n_updates);
    for (unsigned long b = 0; b < biotope.n_bots; ++b) {
        const Bot& bot = biotope.bots[b];
        std::printf("%s%d,%d,%ld,%ld", b == 0 ? "" : " ", bot.x, bot.y, bot.value, bot.dir);
    }
    std::printf(" next_random=%ld\n", random_tovi());
}

int RenderWithoutGL(const RenderJob& job) {
    std::FILE* trace = nullptr;
    if (!job.trace_path.empty()) {
        trace = std::fopen(job.trace_path.c_str(), "w");
        if (trace == nullptr) {
            std::fprintf(job.diag, "lumivor render: cannot write %s: %s\n", job.trace_path.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    StartWorld(job.width, job.height);
    if (!biotope.HasHabitat()) {
        std::fprintf(job.diag, "lumivor render: cannot build a %dx%d world\n", job.width,
                     job.height);
        if (trace != nullptr) std::fclose(trace);
        return 1;
    }
    if (!job.start_from.empty() && !biotope.LoadHabitat(job.start_from.c_str(), false)) {
        std::fprintf(job.diag, "lumivor render: cannot start from %s\n", job.start_from.c_str());
        if (trace != nullptr) std::fclose(trace);
        return 1;
    }
    // The first tick only sets up the projection and clears; every later tick
    // runs two updates.
    for (unsigned long tick = 1; tick < job.ticks; ++tick) {
        if (trace != nullptr) {
            TracedUpdate(trace);
            TracedUpdate(trace);
        } else {
            biotope.Update();
            biotope.Update();
        }
        if (job.progress) job.progress(tick + 1);
    }
    int status = 0;
    if (trace != nullptr && std::fclose(trace) != 0) {
        std::fprintf(job.diag, "lumivor render: cannot write %s\n", job.trace_path.c_str());
        status = 1;
    }
    if (!job.habitat_path.empty() && !biotope.SaveHabitat(job.habitat_path.c_str(), false)) {
        std::fprintf(job.diag, "lumivor render: cannot save %s\n", job.habitat_path.c_str());
        status = 1;
    }
    if (job.final_state) PrintFinalState();
    std::fflush(stdout);
    return status;
}

}  // namespace

bool ParseRenderArgs(int argc, char** argv, RenderArgs* args, std::string* error) {
    *args = RenderArgs();
    RenderJob& job = args->job;
    bool ticks_given = false;
    auto fail = [error](const std::string& what) {
        *error = what;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        auto value = [&](std::string* out) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            args->help = true;
        } else if (arg == "--no-gl") {
            args->no_gl = true;
        } else if (arg == "--quiet") {
            // Handled by main before any output.
        } else if (arg == "--markers") {
            job.markers = true;
        } else if (arg == "--final-state") {
            job.final_state = true;
        } else if (arg == "--preset") {
            if (!value(&v) || !ParseLong(v, 0, 9, &n))
                return fail("--preset needs a community number 0..9");
            job.start.preset = static_cast<int>(n);
        } else if (arg == "--seed") {
            if (!value(&v) || !ParseLong(v, 0, 0x7fffffffffffffffLL, &n))
                return fail("--seed needs a clock reading (a non-negative integer)");
            job.start.seed = static_cast<std::time_t>(n);
            args->seed_given = true;
        } else if (arg == "--size") {
            if (!value(&v) || !ParseSize(v, kMaxSide, &job.width, &job.height))
                return fail("--size needs WxH, each 1.." + std::to_string(kMaxSide));
            args->size_given = true;
        } else if (arg == "--ticks") {
            if (ticks_given) return fail("--ticks and --minutes exclude each other");
            if (!value(&v) || !ParseLong(v, 1, 1000000000LL, &n))
                return fail("--ticks needs a tick count 1..1000000000");
            job.ticks = static_cast<unsigned long>(n);
            ticks_given = true;
        } else if (arg == "--minutes") {
            double m = 0;
            if (ticks_given) return fail("--ticks and --minutes exclude each other");
            if (!value(&v) || !ParseDouble(v, 0.0, 100000.0, &m))
                return fail("--minutes needs a number of minutes 0..100000");
            job.ticks = static_cast<unsigned long>(std::llround(m * kTicksPerMinute));
            if (job.ticks == 0) job.ticks = 1;
            ticks_given = true;
        } else if (arg == "--habitat") {
            if (!value(&job.habitat_path)) return fail("--habitat needs a file name");
        } else if (arg == "--png") {
            if (!value(&job.png_path)) return fail("--png needs a file name");
        } else if (arg == "--start-from") {
            if (!value(&job.start_from)) return fail("--start-from needs a file name");
        } else if (arg == "--trace") {
            if (!value(&job.trace_path)) return fail("--trace needs a file name");
        } else {
            return fail("unknown argument '" + arg + "'");
        }
    }
    if (args->help) return true;
    if (args->no_gl && !job.png_path.empty())
        return fail("--png needs GL rendering (drop --no-gl)");
    if (args->no_gl && job.markers) return fail("--markers needs GL rendering (drop --no-gl)");
    if (!args->no_gl && !job.trace_path.empty()) return fail("--trace works with --no-gl only");
    if (!args->no_gl && job.final_state) return fail("--final-state works with --no-gl only");
    return true;
}

int RenderCommand(int argc, char** argv, std::FILE* diag) {
    RenderArgs args;
    std::string error;
    if (!ParseRenderArgs(argc, argv, &args, &error)) return UsageError(diag, error);
    if (args.help) {
        std::fputs(kRenderUsage, stdout);
        return 0;
    }
    RenderJob& job = args.job;
    job.diag = diag;
    // A render always runs from one clock reading, so that its three readings agree.
    job.start.fixed_seed = true;
    if (!args.seed_given) job.start.seed = std::time(nullptr);
    if (!job.start_from.empty() && !args.size_given &&
        !ReadHabitatFileSize(job.start_from.c_str(), &job.width, &job.height)) {
        std::fprintf(diag, "lumivor render: %s is not a habitat file (binary PPM)\n",
                     job.start_from.c_str());
        return 1;
    }
    // One progress bar for both renderers, on a terminal only.
    Progress progress(isatty(fileno(diag)) != 0 ? diag : nullptr, job.ticks);
    job.progress = [&progress](unsigned long done) { progress.Show(done); };
    int status = 1;
    if (args.no_gl) {
        const FixedStart fixed(job.start);
        status = RenderWithoutGL(job);
    } else {
#ifdef LUMIVOR_HAVE_HOST
        status = RenderWithGL(job);
#else
        std::fprintf(diag, "lumivor render: this build has no GL renderer; use --no-gl\n");
#endif
    }
    progress.Finish();
    return status;
}
