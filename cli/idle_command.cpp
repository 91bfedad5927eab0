// `lumivor idle`: parses the idle watcher's options and hands the job to host/idle.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/commands.h"
#include "host/shared/options.h"
#include "host/shared/outputs.h"
#ifdef LUMIVOR_HAVE_IDLE_HOST
#include "host/idle/idle_loop.h"
#endif

#ifdef LUMIVOR_HAVE_IDLE_HOST
namespace {

const char kIdleUsage[] =
    "usage: lumivor idle [--after DURATION] [options]\n"
    "Waits until the session has been idle for DURATION, runs the saver over every\n"
    "output until a key, a button or the pointer moves, and waits again; SIGTERM\n"
    "or SIGINT ends it. The idle time comes from the X server (MIT-SCREEN-SAVER)\n"
    "or the Wayland compositor (ext-idle-notify-v1 or org_kde_kwin_idle); where an\n"
    "XScreenSaver daemon runs, it leaves the screen to it. Options take one dash\n"
    "or two; the saver's options apply to each run.\n"
    "\n";

}  // namespace
#endif

int IdleCommand(int argc, char** argv) {
#ifndef LUMIVOR_HAVE_IDLE_HOST
    (void)argc, (void)argv;
    std::fprintf(stderr, "lumivor: this build has no window host; use 'lumivor render'\n");
    return 2;
#else
    IdleArgs args;
    std::string error;
    if (!ParseIdleArgs(argc, argv, &args, &error)) {
        std::fprintf(stderr, "lumivor: %s (see 'lumivor idle --help')\n", error.c_str());
        return 2;
    }
    if (args.window.help) {
        std::fputs(kIdleUsage, stdout);
        PrintOptions(kIdleCommand, stdout);
        return 0;
    }
    const WindowArgs& window = args.window;
    if (window.wayland && window.x11) {
        std::fprintf(stderr,
                     "lumivor: --wayland and --x11 exclude each other (see 'lumivor idle "
                     "--help')\n");
        return 2;
    }
    if (window.wayland && !window.job.display_name.empty()) {
        std::fprintf(stderr, "lumivor: --display works on X11 only (see 'lumivor idle --help')\n");
        return 2;
    }
    IdleJob job;
    job.saver = window.job;
    job.after_seconds = args.after_seconds;
    job.desktop = window.wayland ? IdleDesktop::kWayland
                  : window.x11   ? IdleDesktop::kX11
                                 : IdleDesktop::kAuto;
    // How the picture is presented: LUMIVOR_PRESENT is another way to give --draw.
    const char* present = std::getenv("LUMIVOR_PRESENT");
    if (present != nullptr && *present != '\0' && job.saver.present == PresentChoice::kAuto &&
        !ParseDrawing(present, &job.saver.present)) {
        std::fprintf(stderr, "lumivor: LUMIVOR_PRESENT is not auto, full or parts: '%s'\n",
                     present);
        return 1;
    }
    const int settled = SettleRunOutputs({{"--habitat", &job.saver.habitat_path}}, nullptr, nullptr,
                                         window.quiet, "lumivor", stderr);
    if (settled != 0) return settled;
    return RunIdle(job);
#endif
}
