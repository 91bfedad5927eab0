// `lumivor idle`: parses the idle watcher's options and hands the job to host/idle.

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "host/shared/options.h"
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
    "or the Wayland compositor (ext-idle-notify-v1 or org_kde_kwin_idle), on GNOME\n"
    "from mutter's IdleMonitor (no run while an application inhibits going idle);\n"
    "where an XScreenSaver daemon runs, it leaves the screen to it. Options take\n"
    "one dash or two; the saver's options apply to each run.\n"
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
    if (const int settled = SettleWindowArgs(args.window, "lumivor idle --help")) return settled;
    const WindowArgs& window = args.window;
    IdleJob job;
    job.saver = window.job;
    job.after_seconds = args.after_seconds;
    job.desktop = window.wayland ? IdleDesktop::kWayland
                  : window.x11   ? IdleDesktop::kX11
                                 : IdleDesktop::kAuto;
    return RunIdle(job);
#endif
}
