// The GNOME idle watcher: mutter's org.gnome.Mutter.IdleMonitor on the session
// bus, for GNOME's Wayland sessions, whose compositor (mutter 43) offers no idle
// protocol. An idle watch says when the idle time is reached, a user-active
// watch when input resumes; before each run, GNOME's session manager is asked
// whether an application inhibits going idle (a video player, a presentation).
// GDBus delivers its signals to a main context of the watcher's own, whose wait
// goes through WaitForEvents so a stop signal ends it.

#include <gio/gio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "bots/messages.h"
#include "host/idle/idle_watcher.h"
#include "host/shared/run_loop.h"
#include "host/wayland/wayland_host.h"

namespace {

constexpr const char* kMonitorName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kMonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr int kCallTimeoutMs = 5000;
constexpr guint32 kInhibitIdle = 8;  // GNOME's inhibitor flag for going idle

// A session bus to ask: the one named in the environment, or the user's bus
// socket. Without either, GLib would launch a bus of its own, which no desktop
// watches.
bool SessionBusNamed() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return false;
    struct stat info {};
    return stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

class GnomeWatcher : public IdleWatcher {
  public:
    GnomeWatcher(GDBusConnection* bus, const WindowJob& job)
        : bus_(bus), diag_(job.diag), context_(g_main_context_new()) {
        g_main_context_acquire(context_);
    }
    ~GnomeWatcher() override {
        if (idle_watch_ != 0) RemoveWatch(idle_watch_);
        if (active_watch_ != 0) RemoveWatch(active_watch_);
        if (name_watch_ != 0) g_bus_unwatch_name(name_watch_);
        if (subscription_ != 0) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        // Dispatches what unsubscribing left behind, in the context it belongs to.
        while (g_main_context_iteration(context_, FALSE)) {
        }
        g_main_context_release(context_);
        g_main_context_unref(context_);
        g_object_unref(bus_);
    }

    // Subscribes to the watches' signal, then sets the idle watch. False after
    // one line saying why.
    bool Watch(long long after_seconds) {
        // Signals and name changes are delivered in the thread's default
        // context at subscription time: the watcher's own.
        g_main_context_push_thread_default(context_);
        subscription_ = g_dbus_connection_signal_subscribe(
            bus_, kMonitorName, kMonitorName, "WatchFired", kMonitorPath, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &GnomeWatcher::OnWatchFired, this, nullptr);
        name_watch_ =
            g_bus_watch_name_on_connection(bus_, kMonitorName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                           nullptr, &GnomeWatcher::OnMonitorGone, this, nullptr);
        g_main_context_pop_thread_default(context_);
        const guint64 ms = static_cast<guint64>(after_seconds) * 1000;
        return AddWatch("AddIdleWatch", g_variant_new("(t)", ms), &idle_watch_);
    }

    IdleWait WaitForIdle() override {
        bool told_inhibited = false;
        for (;;) {
            if (StopRequested()) return IdleWait::kStopped;
            if (gone_) {
                std::fprintf(diag_, "lumivor: mutter's IdleMonitor left the session bus\n");
                return IdleWait::kFailed;
            }
            if (idle_) {
                // An active watch learns when input ends this idle time, so an
                // inhibited idle time is asked about again only while it lasts.
                if (active_watch_ == 0 && !AddWatch("AddUserActiveWatch", nullptr, &active_watch_))
                    return IdleWait::kFailed;
                if (!Inhibited()) return IdleWait::kIdle;
                if (!told_inhibited)
                    Notice("lumivor: an application inhibits going idle: the saver waits\n");
                told_inhibited = true;
            }
            if (!Iterate(kMaxWaitNs)) return IdleWait::kFailed;
        }
    }
    // The input that ended the run fires the active watch (or has): only the
    // idle watch firing again starts the next.
    void SaverEnded() override { idle_ = false; }
    int RunSaver(const WindowJob& job) override { return RunWaylandHost(job); }
    const char* Source() const override { return "mutter's org.gnome.Mutter.IdleMonitor"; }

  private:
    static void OnWatchFired(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar*, GVariant* parameters, gpointer data) {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)"))) return;
        guint32 id = 0;
        g_variant_get(parameters, "(u)", &id);
        auto* self = static_cast<GnomeWatcher*>(data);
        if (id != 0 && id == self->idle_watch_) self->idle_ = true;
        // A user-active watch fires once and is gone.
        if (id != 0 && id == self->active_watch_) {
            self->active_watch_ = 0;
            self->idle_ = false;
        }
    }
    static void OnMonitorGone(GDBusConnection*, const gchar*, gpointer data) {
        static_cast<GnomeWatcher*>(data)->gone_ = true;
    }

    GVariant* Call(const char* destination, const char* path, const char* interface,
                   const char* method, GVariant* parameters, const char* reply_type,
                   GError** error) {
        return g_dbus_connection_call_sync(
            bus_, destination, path, interface, method, parameters, G_VARIANT_TYPE(reply_type),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, error);
    }

    bool AddWatch(const char* method, GVariant* parameters, guint32* id) {
        GError* error = nullptr;
        GVariant* reply =
            Call(kMonitorName, kMonitorPath, kMonitorName, method, parameters, "(u)", &error);
        if (reply == nullptr) {
            std::fprintf(diag_, "lumivor: mutter's IdleMonitor refused %s (%s)\n", method,
                         error->message);
            g_error_free(error);
            return false;
        }
        g_variant_get(reply, "(u)", id);
        g_variant_unref(reply);
        return true;
    }

    void RemoveWatch(guint32 id) {
        GVariant* reply = Call(kMonitorName, kMonitorPath, kMonitorName, "RemoveWatch",
                               g_variant_new("(u)", id), "()", nullptr);
        if (reply != nullptr) g_variant_unref(reply);
    }

    // Whether GNOME's session manager knows an application that inhibits going
    // idle. A session without it (a bare mutter) inhibits nothing; a manager
    // that fails to answer is said once and then taken as inhibiting nothing.
    bool Inhibited() {
        GError* error = nullptr;
        GVariant* reply = Call("org.gnome.SessionManager", "/org/gnome/SessionManager",
                               "org.gnome.SessionManager", "IsInhibited",
                               g_variant_new("(u)", kInhibitIdle), "(b)", &error);
        if (reply == nullptr) {
            const bool absent =
                g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
            if (!absent && !told_manager_failed_)
                std::fprintf(diag_,
                             "lumivor: GNOME's session manager does not say whether going idle "
                             "is inhibited (%s): the saver starts regardless\n",
                             error->message);
            told_manager_failed_ = told_manager_failed_ || !absent;
            g_error_free(error);
            return false;
        }
        gboolean inhibited = FALSE;
        g_variant_get(reply, "(b)", &inhibited);
        g_variant_unref(reply);
        return inhibited != FALSE;
    }

    // One turn of the watcher's main context: waits at most wait_ns (or until a
    // stop signal) for its sources' descriptors and dispatches what is ready.
    bool Iterate(long long wait_ns) {
        gint priority = 0;
        g_main_context_prepare(context_, &priority);
        gint timeout_ms = -1;
        gint count = 0;
        while ((count = g_main_context_query(context_, priority, &timeout_ms, fds_.data(),
                                             static_cast<gint>(fds_.size()))) >
               static_cast<gint>(fds_.size()))
            fds_.resize(static_cast<size_t>(count));
        if (timeout_ms >= 0) wait_ns = std::min(wait_ns, timeout_ms * 1000000LL);
        std::vector<pollfd> polled(static_cast<size_t>(std::max(count, 1)), pollfd{-1, 0, 0});
        for (size_t i = 0; i < static_cast<size_t>(count); ++i)
            polled[i] = {fds_[i].fd, static_cast<short>(fds_[i].events), 0};
        if (WaitForEvents(polled.data(), wait_ns, polled.size()) < 0 && errno != EINTR)
            return Failed("poll");
        for (size_t i = 0; i < static_cast<size_t>(count); ++i)
            fds_[i].revents = static_cast<gushort>(polled[i].revents);
        if (g_main_context_check(context_, priority, fds_.data(), count))
            g_main_context_dispatch(context_);
        if (g_dbus_connection_is_closed(bus_)) {
            std::fprintf(diag_, "lumivor: lost the session bus\n");
            return false;
        }
        return true;
    }

    bool Failed(const char* what) {
        std::fprintf(diag_, "lumivor: the idle watcher's %s failed (%s)\n", what,
                     g_strerror(errno));
        return false;
    }

    GDBusConnection* bus_;
    std::FILE* diag_;
    GMainContext* context_;
    std::vector<GPollFD> fds_ = std::vector<GPollFD>(4);
    guint subscription_ = 0;
    guint name_watch_ = 0;
    guint32 idle_watch_ = 0;
    guint32 active_watch_ = 0;
    bool idle_ = false;
    bool gone_ = false;
    bool told_manager_failed_ = false;
};

}  // namespace

std::unique_ptr<IdleWatcher> OpenGnomeWatcher(const WindowJob& job, long long after_seconds,
                                              bool* answered) {
    *answered = false;
    if (!SessionBusNamed()) return nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) return nullptr;
    // The bus is GLib's shared connection: a run ends with the process, not
    // with the bus closing under the saver.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    GVariant* owner = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kMonitorName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    gboolean owned = FALSE;
    if (owner != nullptr) {
        g_variant_get(owner, "(b)", &owned);
        g_variant_unref(owner);
    }
    if (owned == FALSE) {
        g_object_unref(bus);
        return nullptr;
    }
    *answered = true;
    std::unique_ptr<GnomeWatcher> watcher = NewWatcher<GnomeWatcher>(job.diag, bus, job);
    if (!watcher) {
        g_object_unref(bus);
        return nullptr;
    }
    if (!watcher->Watch(after_seconds)) return nullptr;
    return watcher;
}
