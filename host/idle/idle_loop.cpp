#include "host/idle/idle_loop.h"

#include <cstdio>

#include "bots/messages.h"
#include "host/idle/idle_watcher.h"
#include "host/shared/run_loop.h"

namespace {

// One watcher for the desktop the session runs: a Wayland session's compositor
// (its X server, where there is one, sees only its own clients' input), else
// the X server.
std::unique_ptr<IdleWatcher> OpenWatcher(const IdleJob& job) {
    IdleDesktop desktop = job.desktop;
    if (desktop == IdleDesktop::kAuto)
        desktop = job.saver.display_name.empty() && IsEnvSet("WAYLAND_DISPLAY")
                      ? IdleDesktop::kWayland
                      : IdleDesktop::kX11;
    if (desktop == IdleDesktop::kWayland) return OpenWaylandWatcher(job.saver, job.after_seconds);
    return OpenX11Watcher(job.saver, job.after_seconds);
}

}  // namespace

#ifndef LUMIVOR_HAVE_X11_IDLE
std::unique_ptr<IdleWatcher> OpenX11Watcher(const WindowJob& job, long long) {
    std::fprintf(job.diag,
                 "lumivor: this build has no X11 idle watcher; build it with libxss-dev "
                 "installed\n");
    return nullptr;
}
#endif
#ifndef LUMIVOR_HAVE_WAYLAND_IDLE
std::unique_ptr<IdleWatcher> OpenWaylandWatcher(const WindowJob& job, long long) {
    std::fprintf(job.diag,
                 "lumivor: this build has no Wayland idle watcher; build it with libwayland-dev, "
                 "wayland-protocols and plasma-wayland-protocols installed\n");
    return nullptr;
}
#endif
#ifndef LUMIVOR_HAVE_GNOME_IDLE
std::unique_ptr<IdleWatcher> OpenGnomeWatcher(const WindowJob&, long long, bool* answered) {
    *answered = false;
    return nullptr;
}
#endif

int RunIdle(const IdleJob& job) {
    std::unique_ptr<IdleWatcher> watcher = OpenWatcher(job);
    if (!watcher) return StopRequested() ? 0 : 1;
    Notice("lumivor: the saver starts after %lld s of idle time (%s)\n", job.after_seconds,
           watcher->Source());
    for (;;) {
        switch (watcher->WaitForIdle()) {
            case IdleWait::kStopped:
                return 0;
            case IdleWait::kFailed:
                return 1;
            case IdleWait::kIdle:
                break;
        }
        // A stop signal during the run ends it as it ends any run (the habitat
        // saved where asked), and then the watcher.
        if (watcher->RunSaver(job.saver) != 0) return 1;
        if (StopRequested()) return 0;
        watcher->SaverEnded();
    }
}
