// The Wayland idle watcher: a notification from the compositor after the idle
// time (ext-idle-notify-v1, or org_kde_kwin_idle where that is what it offers,
// as sway 1.7 does) and another when input resumes, on a connection of its own.

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/idle/idle_watcher.h"
#include "host/shared/run_loop.h"
#include "host/wayland/wayland_client.h"
#include "host/wayland/wayland_host.h"
#ifdef LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML
#include "ext-idle-notify-v1-client-protocol.h"
#endif
#ifdef LUMIVOR_HAVE_KDE_IDLE_XML
#include "idle-client-protocol.h"
#endif

namespace {

constexpr const char* kGnomeBuiltIn =
#ifdef LUMIVOR_HAVE_GNOME_IDLE
    "";
#else
    " (this build has no GNOME idle watcher: build it with libglib2.0-dev)";
#endif

class WaylandWatcher : public IdleWatcher {
  public:
    WaylandWatcher(wl_display* display, const WindowJob& job)
        : display_(display), diag_(job.diag) {}
    ~WaylandWatcher() override {
#ifdef LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML
        if (notification_) ext_idle_notification_v1_destroy(notification_);
        if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
#endif
#ifdef LUMIVOR_HAVE_KDE_IDLE_XML
        if (timeout_) org_kde_kwin_idle_timeout_release(timeout_);
        if (kde_idle_) org_kde_kwin_idle_destroy(kde_idle_);
#endif
        if (seat_) wl_seat_destroy(seat_);
        if (registry_) wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }

    enum class Watching { kYes, kFailed, kNoProtocol };
    // The globals, then a notification after `after_seconds` on the first seat.
    // kFailed after one line saying what is missing; kNoProtocol, nothing said,
    // when the compositor offers no idle protocol.
    Watching Watch(long long after_seconds) {
        static const wl_registry_listener kListener = {
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
                static_cast<WaylandWatcher*>(data)->AddGlobal(registry, name, interface);
            },
            [](void*, wl_registry*, uint32_t) {}};
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kListener, this);
        // A compositor that does not answer leaves a stop signal free to end the wait.
        if (!Roundtrip(display_)) {
            if (!StopRequested()) Lost();
            return Watching::kFailed;
        }
        const uint32_t ms = static_cast<uint32_t>(after_seconds * 1000);
        if (!seat_) {
            std::fprintf(diag_, "lumivor: no idle watcher answers: the compositor has no seat\n");
            return Watching::kFailed;
        }
#ifdef LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML
        if (notifier_) {
            static const ext_idle_notification_v1_listener kNotified = {OnIdle, OnResumed};
            notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, ms, seat_);
            ext_idle_notification_v1_add_listener(notification_, &kNotified, this);
            source_ = "the compositor's ext-idle-notify-v1";
            return Watching::kYes;
        }
#endif
#ifdef LUMIVOR_HAVE_KDE_IDLE_XML
        if (kde_idle_) {
            static const org_kde_kwin_idle_timeout_listener kNotified = {OnIdle, OnResumed};
            timeout_ = org_kde_kwin_idle_get_idle_timeout(kde_idle_, seat_, ms);
            org_kde_kwin_idle_timeout_add_listener(timeout_, &kNotified, this);
            source_ = "the compositor's org_kde_kwin_idle";
            return Watching::kYes;
        }
#endif
        (void)ms;
        return Watching::kNoProtocol;
    }

    IdleWait WaitForIdle() override {
        const bool idle = PumpUntil([this] { return idle_; },
                                    [this](long long ns) { return DispatchEvents(display_, ns); });
        if (StopRequested()) return IdleWait::kStopped;
        if (idle) return IdleWait::kIdle;
        Lost();
        return IdleWait::kFailed;
    }
    // The notification saw the input that ended the run (or will soon): only
    // an idle notification after it starts the next.
    void SaverEnded() override {
        idle_ = false;
    }
    int RunSaver(const WindowJob& job) override {
        return RunWaylandHost(job);
    }
    const char* Source() const override {
        return source_;
    }

    static constexpr const char* kProtocolsBuiltIn =
#if defined(LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML) && defined(LUMIVOR_HAVE_KDE_IDLE_XML)
        "";
#elif defined(LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML)
        " (this build knows no org_kde_kwin_idle: build it with plasma-wayland-protocols)";
#else
        " (this build knows no ext-idle-notify-v1: build it with wayland-protocols 1.27 or "
        "later)";
#endif

  private:
    // Both protocols' notifications: the idle time was reached, input resumed.
    template <typename Notification>
    static void OnIdle(void* data, Notification*) {
        static_cast<WaylandWatcher*>(data)->idle_ = true;
    }
    template <typename Notification>
    static void OnResumed(void* data, Notification*) {
        static_cast<WaylandWatcher*>(data)->idle_ = false;
    }

    void AddGlobal(wl_registry* registry, uint32_t name, const char* interface) {
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat_) {
            seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        }
#ifdef LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML
        if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
            notifier_ = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
#endif
#ifdef LUMIVOR_HAVE_KDE_IDLE_XML
        if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
            kde_idle_ = static_cast<org_kde_kwin_idle*>(
                wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
#endif
    }

    void Lost() {
        const int err = wl_display_get_error(display_);
        std::fprintf(diag_, "lumivor: lost the connection to the Wayland compositor (%s)\n",
                     std::strerror(err != 0 ? err : EPIPE));
    }

    wl_display* display_;
    std::FILE* diag_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
#ifdef LUMIVOR_HAVE_EXT_IDLE_NOTIFY_XML
    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
#endif
#ifdef LUMIVOR_HAVE_KDE_IDLE_XML
    org_kde_kwin_idle* kde_idle_ = nullptr;
    org_kde_kwin_idle_timeout* timeout_ = nullptr;
#endif
    const char* source_ = "";
    bool idle_ = false;
};

}  // namespace

std::unique_ptr<IdleWatcher> OpenWaylandWatcher(const WindowJob& job, long long after_seconds) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        std::fprintf(
            job.diag, "lumivor: no idle watcher answers: no Wayland compositor at '%s' (%s)\n",
            name != nullptr ? name : "wayland-0", std::strerror(errno != 0 ? errno : ENOENT));
        return nullptr;
    }
    std::unique_ptr<WaylandWatcher> watcher = NewWatcher<WaylandWatcher>(job.diag, display, job);
    if (!watcher) {
        wl_display_disconnect(display);
        return nullptr;
    }
    switch (watcher->Watch(after_seconds)) {
        case WaylandWatcher::Watching::kYes:
            return watcher;
        case WaylandWatcher::Watching::kFailed:
            return nullptr;
        case WaylandWatcher::Watching::kNoProtocol:
            break;
    }
    // GNOME's compositor (mutter 43) offers neither protocol; its IdleMonitor
    // on the session bus says the same.
    watcher.reset();
    bool answered = false;
    std::unique_ptr<IdleWatcher> gnome = OpenGnomeWatcher(job, after_seconds, &answered);
    if (!answered)
        std::fprintf(job.diag,
                     "lumivor: no idle watcher answers: the Wayland compositor offers neither "
                     "ext-idle-notify-v1 nor org_kde_kwin_idle, and no "
                     "org.gnome.Mutter.IdleMonitor answers on the session bus%s%s\n",
                     WaylandWatcher::kProtocolsBuiltIn, kGnomeBuiltIn);
    return gnome;
}
