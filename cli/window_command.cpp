// `lumivor` with window options: parses them and hands the job to the window host.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/commands.h"
#include "host/shared/options.h"
#include "host/shared/outputs.h"
#ifdef LUMIVOR_HAVE_WINDOW_HOST
#include "host/x11/window_host.h"
#endif
#ifdef LUMIVOR_HAVE_WAYLAND_HOST
#include "host/wayland/wayland_host.h"
#endif

#ifdef LUMIVOR_HAVE_WINDOW_HOST
namespace {

const char kWindowUsage[] =
    "usage: lumivor [options]\n"
    "Runs the saver in its own window (Escape or q ends it), in a given window,\n"
    "or on the root window as an XScreenSaver hack; on Wayland, over every output\n"
    "until a key, a button or the pointer moves; with --wallpaper, as the desktop's\n"
    "background until stopped. Options take one dash or two.\n"
    "\n";

// The X11 option given, if any: they name an X display or window.
const char* X11Option(const WindowJob& job) {
    return job.root                    ? "--root"
           : job.have_window_id        ? "--window-id"
           : !job.display_name.empty() ? "--display"
                                       : nullptr;
}

// Wayland when asked for, or when only a Wayland display is there and no X11 option was given.
bool ChoosesWayland(const WindowArgs& args) {
    if (args.wayland || args.x11) return args.wayland;
    return X11Option(args.job) == nullptr && IsEnvSet("WAYLAND_DISPLAY") && !IsEnvSet("DISPLAY");
}

int RunOnWayland(const WindowJob& job) {
#ifdef LUMIVOR_HAVE_WAYLAND_HOST
    return RunWaylandHost(job);
#else
    std::fprintf(stderr,
                 "lumivor: this build has no Wayland host; build it with libwayland-dev and "
                 "wayland-protocols installed, or use --x11\n");
    (void)job;
    return 1;
#endif
}

}  // namespace

int SettleWindowArgs(WindowArgs& args, const char* help) {
    WindowJob& job = args.job;
    if (args.wayland && args.x11) {
        std::fprintf(stderr, "lumivor: --wayland and --x11 exclude each other (see '%s')\n", help);
        return 2;
    }
    if (args.wayland && X11Option(job) != nullptr) {
        std::fprintf(stderr, "lumivor: %s works on X11 only (see '%s')\n", X11Option(job), help);
        return 2;
    }
    // How the picture is presented: LUMIVOR_PRESENT is another way to give --draw.
    const char* present = std::getenv("LUMIVOR_PRESENT");
    if (present != nullptr && *present != '\0' && job.present == PresentChoice::kAuto &&
        !ParseDrawing(present, &job.present)) {
        std::fprintf(stderr, "lumivor: LUMIVOR_PRESENT is not auto, full or parts: '%s'\n",
                     present);
        return 1;
    }
    return SettleRunOutputs({{"--habitat", &job.habitat_path}}, nullptr, nullptr, args.quiet,
                            "lumivor", stderr);
}
#endif

int WindowCommand(int argc, char** argv) {
#ifndef LUMIVOR_HAVE_WINDOW_HOST
    // Nothing here can be done without a window: a usage error, before any option is read.
    (void)argc, (void)argv;
    std::fprintf(stderr, "lumivor: this build has no window host; use 'lumivor render'\n");
    return 2;
#else
    WindowArgs args;
    std::string error;
    if (!ParseWindowArgs(argc, argv, &args, &error)) {
        std::fprintf(stderr, "lumivor: %s (see 'lumivor --help-window')\n", error.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(kWindowUsage, stdout);
        PrintOptions(kWindowCommand, stdout);
        return 0;
    }
    WindowJob& job = args.job;
    // The background is the root window or every output's background layer, never a window.
    const char* drawn_into = job.root             ? "--root"
                             : job.have_window_id ? "--window-id"
                             : job.in_window      ? "--window"
                                                  : nullptr;
    if (job.wallpaper && drawn_into != nullptr) {
        std::fprintf(stderr,
                     "lumivor: --wallpaper and %s exclude each other (see 'lumivor "
                     "--help-window')\n",
                     drawn_into);
        return 2;
    }
    if (const int settled = SettleWindowArgs(args, "lumivor --help-window")) return settled;
    if (ChoosesWayland(args)) return RunOnWayland(job);
    // XScreenSaver names the window of --root in the environment; an id given
    // on the command line comes first.
    const char* saver_window = std::getenv("XSCREENSAVER_WINDOW");
    if (job.root && !job.have_window_id && saver_window != nullptr) {
        long long id = 0;
        if (!ParseInteger(saver_window, 0, 1, 0xffffffffLL, &id)) {
            std::fprintf(stderr, "lumivor: XSCREENSAVER_WINDOW is not a window id: '%s'\n",
                         saver_window);
            return 1;
        }
        job.have_window_id = true;
        job.window_id = static_cast<unsigned long>(id);
    }
    return RunWindowHost(job);
#endif
}
