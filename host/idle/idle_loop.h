// `lumivor idle`: waits until the session has been idle for a while, runs the
// saver over every output until input ends it, and waits again, until a stop
// signal. The idle time comes from the desktop: the X server's MIT-SCREEN-SAVER
// extension on X11, ext-idle-notify-v1 or org_kde_kwin_idle on Wayland, and
// mutter's org.gnome.Mutter.IdleMonitor where GNOME's compositor offers neither.
#pragma once

#include "host/shared/window_job.h"

enum class IdleDesktop { kAuto, kX11, kWayland };

struct IdleJob {
    WindowJob saver;  // each run's job: a fresh world every time
    long long after_seconds = 0;
    IdleDesktop desktop = IdleDesktop::kAuto;  // kAuto: Wayland where WAYLAND_DISPLAY is set
};

// Returns 0 after a stop signal, 1 when no watcher answers or a saver run fails.
int RunIdle(const IdleJob& job);
