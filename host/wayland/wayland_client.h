// The connection to a Wayland compositor and the saver's surfaces on it: an
// overlay on every output (wlr-layer-shell), a full-screen toplevel on every
// output where that protocol is missing (xdg-shell), one ordinary window, or
// the background of every output (wlr-layer-shell, for --wallpaper).
// Events only record what happened; the run loop (wayland_host.cpp) acts on it.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "host/shared/damage_grid.h"
#include "host/wayland/shm_buffer.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

// Sends what is queued, waits up to wait_ns for the compositor's events (a stop
// signal ends the wait) and dispatches them. False when the connection failed.
bool DispatchEvents(wl_display* display, long long wait_ns);
// Waits until the compositor has handled every request sent; false when the
// connection failed or a stop signal came first.
bool Roundtrip(wl_display* display);

enum class Role { kOverlay, kFullScreen, kWindow, kBackground };

struct Output;

// One surface of the saver and the buffers it shows. Its fields are what the
// compositor last said about it; the listeners in wayland_client.cpp fill them.
struct View {
    ~View();
    // Width and height in buffer pixels (the configured size times the output's
    // scale); 0 until the compositor has given a size.
    int width() const { return configured_w * scale(); }
    int height() const { return configured_h * scale(); }
    int scale() const;
    // Brings the buffers and the damage to the current size (all of it changed
    // after a change).
    void Fit();
    // Marks a rectangle of the picture as changed; the picture's row `top` is the view's row 0.
    void MarkChanged(PixelRect rect, int top);
    // True when a commit may go out: a size was given, the last commit was shown
    // and a buffer is free (else an event of the compositor comes first).
    bool Ready() const;
    bool HasChanges() const { return !changed_.Empty(); }
    // Copies what changed into a free buffer and commits it with its damage. The
    // share of the surface that changed, or -1 when a buffer cannot be made (reported).
    double Commit(const uint32_t* picture, int picture_w, int picture_h);

    class WaylandClient* client = nullptr;
    Output* output = nullptr;  // the output it covers; none for the window
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdg = nullptr;
    xdg_toplevel* toplevel = nullptr;
    int asked_w = 0, asked_h = 0;            // the toplevel's size, until its xdg_surface configure
    int configured_w = 0, configured_h = 0;  // surface units, from the last configure with a size
    bool closed = false;                     // by the compositor
    wl_callback* frame = nullptr;            // the last commit's frame callback, until it is done

  private:
    int fitted_w_ = 0, fitted_h_ = 0, applied_scale_ = 1;
    unsigned long commits_ = 0;
    DamageGrid changed_;  // since the last commit: the damage the next one reports
    ShmBuffer buffers_[3];
};

struct Output {
    uint32_t name = 0;  // in the registry
    wl_output* output = nullptr;
    int scale = 1, pending_scale = 1;
    int mode_w = 0, mode_h = 0;  // the current mode, in pixels
    std::unique_ptr<View> view;
    bool refused = false;  // the compositor closed its view: it gets no other
};

class WaylandClient {
  public:
    explicit WaylandClient(std::FILE* diag) : diag_(diag) {}
    ~WaylandClient();

    // Connects to the compositor named by WAYLAND_DISPLAY and binds what the
    // saver uses. False, with one line on diag, when none answers or it lacks
    // what is needed; false without a line when a stop signal came first.
    bool Connect();
    bool Dispatch(long long wait_ns) { return DispatchEvents(display_, wait_ns); }
    // The window, or an overlay on each output where wlr-layer-shell is offered,
    // else a full-screen toplevel on each; or the background of each output,
    // which needs wlr-layer-shell (false, with one line on diag, without it).
    bool Open(bool window, bool background);
    // Drops the views the compositor closed and opens one on each new output.
    void Sync();
    // The views open now.
    std::vector<View*> Views() const;
    // True when the connection failed; one line on diag says how.
    bool Failed();

    wl_display* display() const { return display_; }
    Role role() const { return role_; }
    // A key, a button or the pointer moving ends the overlay and the full-screen toplevel.
    bool EndsOnInput() const { return role_ == Role::kOverlay || role_ == Role::kFullScreen; }
    const char* RoleName() const;

    bool input_ended = false;  // a key, a button, or the pointer moved beyond a few pixels
    bool any_closed = false;   // the compositor closed a view

    // A seat's keyboard and pointer, and where its pointer was first seen.
    struct Seat {
        WaylandClient* client = nullptr;
        uint32_t name = 0;  // in the registry
        wl_seat* seat = nullptr;
        wl_keyboard* keyboard = nullptr;
        wl_pointer* pointer = nullptr;
        bool have_origin = false;
        double origin_x = 0, origin_y = 0;
    };

    // What the listeners report.
    void AddGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void RemoveGlobal(uint32_t name);
    void OnCapabilities(Seat& seat, uint32_t caps);
    void OnKey(uint32_t key);
    void OnPointer(Seat& seat, double x, double y, bool entered);

  private:
    friend struct View;
    std::unique_ptr<View> OpenView(Output* output);

    std::FILE* diag_;
    Role role_ = Role::kOverlay;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* wm_base_ = nullptr;
    zwlr_layer_shell_v1* layer_shell_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<std::unique_ptr<Seat>> seats_;
    std::unique_ptr<View> window_;
    bool reported_ = false;
};
