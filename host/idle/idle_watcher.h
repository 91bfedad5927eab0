// What the idle loop asks of a desktop's idle watcher.
#pragma once

#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "host/shared/window_job.h"

enum class IdleWait {
    kIdle,     // idle long enough: the saver starts
    kStopped,  // a stop signal came
    kFailed,   // the watcher failed and said why
};

class IdleWatcher {
  public:
    virtual ~IdleWatcher() = default;
    // Waits until the session has been idle for the watcher's time (a stop
    // signal cuts the wait short).
    virtual IdleWait WaitForIdle() = 0;
    // The saver's run ended: the next start needs input first and then the
    // whole idle time again.
    virtual void SaverEnded() = 0;
    // Runs the saver on this desktop. Returns the run's status.
    virtual int RunSaver(const WindowJob& job) = 0;
    // What the watcher listens to, for the line that says it watches.
    virtual const char* Source() const = 0;
};

// A watcher made without throwing: null after one line on `diag` when memory runs out.
template <typename Watcher, typename... Args>
std::unique_ptr<Watcher> NewWatcher(std::FILE* diag, Args&&... args) {
    std::unique_ptr<Watcher> watcher(new (std::nothrow) Watcher(std::forward<Args>(args)...));
    if (!watcher) std::fprintf(diag, "lumivor: no memory for the idle watcher\n");
    return watcher;
}

// Each returns null after one line on `diag` saying why this desktop cannot be watched.
std::unique_ptr<IdleWatcher> OpenX11Watcher(const WindowJob& job, long long after_seconds);
std::unique_ptr<IdleWatcher> OpenWaylandWatcher(const WindowJob& job, long long after_seconds);
// GNOME's Wayland sessions, whose compositor offers no idle protocol: mutter's
// IdleMonitor on the session bus. Null with *answered false, and nothing said,
// when no IdleMonitor answers there (the caller says what it missed); null
// with *answered true after one line when the one that answers fails.
std::unique_ptr<IdleWatcher> OpenGnomeWatcher(const WindowJob& job, long long after_seconds,
                                              bool* answered);
