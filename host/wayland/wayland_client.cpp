#include "host/wayland/wayland_client.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "host/shared/run_loop.h"
#include "xdg-shell-client-protocol.h"
// The protocol names an argument "namespace", a word C++ keeps for itself.
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#ifdef __clang__
#pragma clang diagnostic pop
#endif

namespace {

constexpr int kWindowWidth = 1024, kWindowHeight = 768;  // as the X11 window
constexpr double kPointerSlack = 4;  // pointer motion in surface units that does not end the run
constexpr uint32_t kKeyEscape = 1;   // the evdev code of Escape, on every keyboard layout

// Fills the listener entries for events the saver does not use.
constexpr auto kIgnore = [](auto...) {};

// Where the client library's own messages go: nowhere while connecting (the
// failure is reported as one line), then to the host's diagnostics.
std::FILE* library_log = nullptr;

void LogFromLibrary(const char* format, va_list args) {
    if (library_log == nullptr) return;
    std::fputs("lumivor: Wayland: ", library_log);
    std::vfprintf(library_log, format, args);
}

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t most) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, most)));
}

// Why no compositor answered: where the client library looked and what it found.
std::string ConnectFailure(int err) {
    // A socket handed over by the parent comes before any name.
    const char* handed = std::getenv("WAYLAND_SOCKET");
    if (handed != nullptr && *handed != '\0')
        return std::string("on WAYLAND_SOCKET=") + handed + ": " +
               std::strerror(err != 0 ? err : EBADF);
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') name = "wayland-0";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (name[0] != '/' && (runtime == nullptr || *runtime == '\0'))
        return std::string("XDG_RUNTIME_DIR is not set, so '") + name + "' names no socket";
    const std::string path = name[0] == '/' ? name : std::string(runtime) + "/" + name;
    return "at " + path + ": " + std::strerror(err != 0 ? err : ECONNREFUSED);
}

}  // namespace

namespace {

const wl_callback_listener kFrameListener = {[](void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    *static_cast<wl_callback**>(data) = nullptr;
}};

const xdg_wm_base_listener kWmBaseListener = {
    [](void*, xdg_wm_base* wm_base, uint32_t serial) { xdg_wm_base_pong(wm_base, serial); }};

const wl_output_listener kOutputListener = {
    kIgnore,
    [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        auto* output = static_cast<Output*>(data);
        if (flags & WL_OUTPUT_MODE_CURRENT) output->mode_w = width, output->mode_h = height;
    },
    [](void* data, wl_output*) {
        auto* output = static_cast<Output*>(data);
        output->scale = output->pending_scale;
    },
    [](void* data, wl_output*, int32_t scale) {
        static_cast<Output*>(data)->pending_scale = scale > 0 ? scale : 1;
    },
    kIgnore,
    kIgnore};

const wl_keyboard_listener kKeyboardListener = {
    [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },  // no keymap needed
    kIgnore,
    kIgnore,
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        auto* seat = static_cast<WaylandClient::Seat*>(data);
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED) seat->client->OnKey(key);
    },
    kIgnore,
    kIgnore};

const wl_pointer_listener kPointerListener = {
    [](void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
        auto* seat = static_cast<WaylandClient::Seat*>(data);
        if (seat->client->EndsOnInput())
            wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);  // no cursor over the saver
        seat->client->OnPointer(*seat, wl_fixed_to_double(x), wl_fixed_to_double(y), true);
    },
    kIgnore,
    [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        auto* seat = static_cast<WaylandClient::Seat*>(data);
        seat->client->OnPointer(*seat, wl_fixed_to_double(x), wl_fixed_to_double(y), false);
    },
    [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
        auto* client = static_cast<WaylandClient::Seat*>(data)->client;
        if (state == WL_POINTER_BUTTON_STATE_PRESSED && client->EndsOnInput())
            client->input_ended = true;
    },
    kIgnore,
    kIgnore,
    kIgnore,
    kIgnore,
    kIgnore,
#ifdef WL_POINTER_AXIS_RELATIVE_DIRECTION_SINCE_VERSION
    kIgnore,  // axis_relative_direction, from libwayland 1.22 on (Debian 13)
#endif
    kIgnore};

const wl_seat_listener kSeatListener = {[](void* data, wl_seat*, uint32_t caps) {
                                            auto* seat = static_cast<WaylandClient::Seat*>(data);
                                            seat->client->OnCapabilities(*seat, caps);
                                        },
                                        kIgnore};

const zwlr_layer_surface_v1_listener kLayerListener = {
    [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
        auto* view = static_cast<View*>(data);
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        if (width > 0 && height > 0) {
            view->configured_w = static_cast<int>(width);
            view->configured_h = static_cast<int>(height);
        } else {
            wl_surface_commit(view->surface);  // no size yet: it follows this commit
        }
    },
    [](void* data, zwlr_layer_surface_v1*) {
        auto* view = static_cast<View*>(data);
        view->closed = view->client->any_closed = true;
    }};

const xdg_toplevel_listener kToplevelListener = {
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        auto* view = static_cast<View*>(data);
        view->asked_w = width, view->asked_h = height;
    },
    [](void* data, xdg_toplevel*) {
        auto* view = static_cast<View*>(data);
        view->closed = view->client->any_closed = true;
    },
    kIgnore, kIgnore};

const xdg_surface_listener kXdgSurfaceListener = {
    [](void* data, xdg_surface* xdg, uint32_t serial) {
        auto* view = static_cast<View*>(data);
        xdg_surface_ack_configure(xdg, serial);
        int w = view->asked_w, h = view->asked_h;
        // Without a size the client chooses: the output's for full screen, else the window's own.
        if ((w <= 0 || h <= 0) && view->output != nullptr)
            w = view->output->mode_w / view->output->scale,
            h = view->output->mode_h / view->output->scale;
        if ((w <= 0 || h <= 0) && view->configured_w == 0) w = kWindowWidth, h = kWindowHeight;
        if (w > 0 && h > 0) view->configured_w = w, view->configured_h = h;
    }};

}  // namespace

void WaylandClient::OnCapabilities(Seat& seat, uint32_t caps) {
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !seat.keyboard) {
        seat.keyboard = wl_seat_get_keyboard(seat.seat);
        wl_keyboard_add_listener(seat.keyboard, &kKeyboardListener, &seat);
    } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && seat.keyboard) {
        wl_keyboard_destroy(seat.keyboard);
        seat.keyboard = nullptr;
    }
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !seat.pointer) {
        seat.pointer = wl_seat_get_pointer(seat.seat);
        wl_pointer_add_listener(seat.pointer, &kPointerListener, &seat);
    } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && seat.pointer) {
        wl_pointer_destroy(seat.pointer);
        seat.pointer = nullptr;
    }
}

void WaylandClient::OnKey(uint32_t key) {
    if (EndsOnInput() || (role_ == Role::kWindow && key == kKeyEscape)) input_ended = true;
}

void WaylandClient::OnPointer(Seat& seat, double x, double y, bool entered) {
    if (!EndsOnInput()) return;
    if (entered || !seat.have_origin) {
        seat.have_origin = true;
        seat.origin_x = x, seat.origin_y = y;
        return;
    }
    if (std::abs(x - seat.origin_x) > kPointerSlack || std::abs(y - seat.origin_y) > kPointerSlack)
        input_ended = true;
}

void WaylandClient::AddGlobal(wl_registry* registry, uint32_t name, const char* interface,
                              uint32_t version) {
    const std::string is = interface;
    if (is == wl_compositor_interface.name && !compositor_) {
        compositor_ = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (is == wl_shm_interface.name && !shm_) {
        shm_ = Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (is == xdg_wm_base_interface.name && !wm_base_) {
        wm_base_ = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 1);
        xdg_wm_base_add_listener(wm_base_, &kWmBaseListener, this);
    } else if (is == zwlr_layer_shell_v1_interface.name && !layer_shell_) {
        layer_shell_ =
            Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (is == wl_output_interface.name) {
        auto output = std::make_unique<Output>();
        output->name = name;
        output->output = Bind<wl_output>(registry, name, &wl_output_interface, version, 2);
        wl_output_add_listener(output->output, &kOutputListener, output.get());
        outputs_.push_back(std::move(output));
    } else if (is == wl_seat_interface.name) {
        auto seat = std::make_unique<Seat>();
        seat->client = this;
        seat->name = name;
        seat->seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 1);
        wl_seat_add_listener(seat->seat, &kSeatListener, seat.get());
        seats_.push_back(std::move(seat));
    }
}

void WaylandClient::RemoveGlobal(uint32_t name) {
    // An output that goes takes its view with it; that is no closing by the compositor.
    for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
        if ((*it)->name != name) continue;
        (*it)->view.reset();
        wl_output_destroy((*it)->output);
        outputs_.erase(it);
        return;
    }
    for (auto it = seats_.begin(); it != seats_.end(); ++it) {
        if ((*it)->name != name) continue;
        OnCapabilities(**it, 0);
        wl_seat_destroy((*it)->seat);
        seats_.erase(it);
        return;
    }
}

bool WaylandClient::Connect() {
    wl_log_set_handler_client(LogFromLibrary);
    library_log = nullptr;
    errno = 0;
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        std::fprintf(diag_,
                     "lumivor: no Wayland compositor answers (%s); without a display, "
                     "'lumivor render' runs the saver into files\n",
                     ConnectFailure(errno).c_str());
        return false;
    }
    library_log = diag_;
    static const wl_registry_listener kRegistryListener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface,
           uint32_t version) {
            static_cast<WaylandClient*>(data)->AddGlobal(registry, name, interface, version);
        },
        [](void* data, wl_registry*, uint32_t name) {
            static_cast<WaylandClient*>(data)->RemoveGlobal(name);
        }};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    // The globals, then the outputs' first events.
    if (!Roundtrip(display_) || !Roundtrip(display_)) {
        if (wl_display_get_error(display_) != 0) Failed();  // else a stop came first
        return false;
    }
    const char* missing = !compositor_                 ? "wl_compositor"
                          : !shm_                      ? "wl_shm"
                          : !wm_base_ && !layer_shell_ ? "xdg-shell and wlr-layer-shell"
                                                       : nullptr;
    if (missing) {
        std::fprintf(diag_, "lumivor: the Wayland compositor does not offer %s\n", missing);
        return false;
    }
    return true;
}

bool DispatchEvents(wl_display* display, long long wait_ns) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return false;
    // A full socket waits for room; a closed one is found by the read below.
    const bool full = wl_display_flush(display) < 0 && errno == EAGAIN;
    pollfd fd{wl_display_get_fd(display), static_cast<short>(POLLIN | (full ? POLLOUT : 0)), 0};
    if (WaitForEvents(&fd, wait_ns) > 0 && (fd.revents & (POLLIN | POLLERR | POLLHUP))) {
        if (wl_display_read_events(display) < 0) return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0;
}

bool Roundtrip(wl_display* display) {
    static const wl_callback_listener kDone = {
        [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    bool done = false;
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &kDone, &done);
    const bool answered = PumpUntil(
        [&done] { return done; }, [display](long long ns) { return DispatchEvents(display, ns); });
    wl_callback_destroy(sync);
    return answered;
}

bool WaylandClient::Open(bool window, bool background) {
    if (background && !layer_shell_) {
        std::fprintf(diag_,
                     "lumivor: --wallpaper needs wlr-layer-shell, which the Wayland compositor "
                     "does not offer\n");
        return false;
    }
    // Connect made sure that one of the two shells is there.
    role_ = background           ? Role::kBackground
            : window && wm_base_ ? Role::kWindow
            : layer_shell_       ? Role::kOverlay
                                 : Role::kFullScreen;
    if (role_ == Role::kWindow) window_ = OpenView(nullptr);
    Sync();
    return true;
}

const char* WaylandClient::RoleName() const {
    switch (role_) {
        case Role::kOverlay:
            return "an overlay on each output (wlr-layer-shell)";
        case Role::kFullScreen:
            return "a full-screen toplevel on each output (xdg-shell)";
        case Role::kBackground:
            return "the background of each output (wlr-layer-shell)";
        case Role::kWindow:
            break;
    }
    return "a window (xdg-shell)";
}

std::unique_ptr<View> WaylandClient::OpenView(Output* output) {
    auto view = std::make_unique<View>();
    view->client = this;
    view->output = output;
    view->surface = wl_compositor_create_surface(compositor_);
    if (role_ == Role::kOverlay || role_ == Role::kBackground) {
        const bool background = role_ == Role::kBackground;
        view->layer = zwlr_layer_shell_v1_get_layer_surface(
            layer_shell_, view->surface, output->output,
            background ? ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
            background ? "wallpaper" : "lumivor");
        zwlr_layer_surface_v1_add_listener(view->layer, &kLayerListener, view.get());
        zwlr_layer_surface_v1_set_anchor(view->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(view->layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            view->layer, background ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                                    : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
        if (background) {
            // An empty input region: the pointer over the desktop is the compositor's.
            wl_region* none = wl_compositor_create_region(compositor_);
            wl_surface_set_input_region(view->surface, none);
            wl_region_destroy(none);
        }
    } else {
        view->xdg = xdg_wm_base_get_xdg_surface(wm_base_, view->surface);
        xdg_surface_add_listener(view->xdg, &kXdgSurfaceListener, view.get());
        view->toplevel = xdg_surface_get_toplevel(view->xdg);
        xdg_toplevel_add_listener(view->toplevel, &kToplevelListener, view.get());
        xdg_toplevel_set_title(view->toplevel, "Lumivor");
        xdg_toplevel_set_app_id(view->toplevel, "lumivor");
        if (output) xdg_toplevel_set_fullscreen(view->toplevel, output->output);
    }
    wl_surface_commit(view->surface);  // without a buffer: asks for the first configure
    return view;
}

void WaylandClient::Sync() {
    for (auto& output : outputs_) {
        if (output->view && output->view->closed) {
            output->view.reset();
            output->refused = true;
        }
        if (role_ != Role::kWindow && !output->view && !output->refused)
            output->view = OpenView(output.get());
    }
}

std::vector<View*> WaylandClient::Views() const {
    std::vector<View*> views;
    if (window_ && !window_->closed) views.push_back(window_.get());
    for (const auto& output : outputs_)
        if (output->view && !output->view->closed) views.push_back(output->view.get());
    return views;
}

bool WaylandClient::Failed() {
    const int err = display_ ? wl_display_get_error(display_) : 0;
    if (err == 0 || reported_) return err != 0;
    reported_ = true;
    if (err == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        std::fprintf(diag_, "lumivor: the Wayland compositor refused a request: error %u on %s\n",
                     code, interface ? interface->name : "the display");
    } else {
        std::fprintf(diag_, "lumivor: lost the connection to the Wayland compositor\n");
    }
    return true;
}

WaylandClient::~WaylandClient() {
    window_.reset();
    for (auto& output : outputs_) {
        output->view.reset();
        wl_output_destroy(output->output);
    }
    for (auto& seat : seats_) {
        OnCapabilities(*seat, 0);
        wl_seat_destroy(seat->seat);
    }
    if (layer_shell_) {
        if (zwlr_layer_shell_v1_get_version(layer_shell_) >= 3)
            zwlr_layer_shell_v1_destroy(layer_shell_);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layer_shell_));
    }
    if (wm_base_) xdg_wm_base_destroy(wm_base_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) {
        library_log = nullptr;  // what the library says while closing is of no use
        wl_display_disconnect(display_);
    }
}

View::~View() {
    for (ShmBuffer& buffer : buffers_) buffer.Destroy();
    if (frame) wl_callback_destroy(frame);
    if (toplevel) xdg_toplevel_destroy(toplevel);
    if (xdg) xdg_surface_destroy(xdg);
    if (layer) zwlr_layer_surface_v1_destroy(layer);
    if (surface) wl_surface_destroy(surface);
}

// Buffer scales came with version 3 of the compositor; with an older one the
// surface is drawn at scale 1 whatever the output's.
int View::scale() const {
    return output && wl_compositor_get_version(client->compositor_) >= 3 ? output->scale : 1;
}

void View::Fit() {
    if (width() == fitted_w_ && height() == fitted_h_) return;
    fitted_w_ = width(), fitted_h_ = height();
    for (ShmBuffer& buffer : buffers_) buffer.Destroy();
    changed_.Reset(fitted_w_, fitted_h_);
}

void View::MarkChanged(PixelRect rect, int top) {
    rect.y -= top;
    changed_.MarkRect(rect);
    for (ShmBuffer& buffer : buffers_)
        if (buffer.buffer()) buffer.stale.MarkRect(rect);
}

bool View::Ready() const {
    if (fitted_w_ < 1 || fitted_h_ < 1 || frame) return false;  // a configure or frame event comes
    for (const ShmBuffer& buffer : buffers_)
        if (!buffer.buffer() || !buffer.busy) return true;
    return false;  // every buffer is the compositor's: a release comes
}

double View::Commit(const uint32_t* picture, int picture_w, int picture_h) {
    // The free buffer shown last has the least to copy; an empty slot gets a new one.
    ShmBuffer* chosen = nullptr;
    for (ShmBuffer& buffer : buffers_)
        if (buffer.buffer() && !buffer.busy && (!chosen || buffer.filled > chosen->filled))
            chosen = &buffer;
    for (ShmBuffer& buffer : buffers_)
        if (!chosen && !buffer.buffer()) {
            if (!buffer.Create(client->shm_, fitted_w_, fitted_h_, client->diag_)) return -1;
            chosen = &buffer;
        }
    chosen->CopyStale(picture, picture_w, picture_h, picture_h - fitted_h_);
    const PixelRect* rects = nullptr;
    const int count = changed_.Take(&rects);
    double area = 0;
    const bool by_buffer = wl_compositor_get_version(client->compositor_) >= 4;
    for (int i = 0; i < count; ++i) {
        const PixelRect& r = rects[i];
        area += static_cast<double>(r.width) * r.height;
        if (by_buffer) wl_surface_damage_buffer(surface, r.x, r.y, r.width, r.height);
    }
    if (!by_buffer) wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    if (applied_scale_ != scale()) {
        applied_scale_ = scale();
        wl_surface_set_buffer_scale(surface, applied_scale_);
    }
    wl_surface_attach(surface, chosen->buffer(), 0, 0);
    frame = wl_surface_frame(surface);
    wl_callback_add_listener(frame, &kFrameListener, &frame);
    wl_surface_commit(surface);
    chosen->busy = true;
    chosen->filled = ++commits_;
    return area / (static_cast<double>(fitted_w_) * fitted_h_);
}
