// `lumivor` in a window: the saver in its own X11 window, in a window given by
// id, or on the root window as an XScreenSaver hack. GLX draws into a persistent
// framebuffer object that is copied to the window after each tick and on Expose.

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/fbo_surface.h"
#include "host/host.h"
#include "saver/frame_driver.h"
#include "saver/saver_view.h"
#include "world/biotope.h"
#include "saver/start.h"

namespace {

constexpr long long kTickNs = 1000000000LL / 75;  // the saver's tick, 1/75 s
constexpr int kMaxLateTicks = 4;               // late ticks run at once before the rest is dropped
constexpr long long kMaxWaitNs = 100000000LL;  // the loop wakes at least this often
constexpr long long kPresentNs = 1000000000LL / 60;  // present rate without a vertical-sync swap
constexpr int kOwnWidth = 1024, kOwnHeight = 768;

const char kUsage[] =
    "usage: lumivor [options]\n"
    "Runs the saver in its own window (Escape or q ends it), in a given window,\n"
    "or on the root window as an XScreenSaver hack. Options take one dash or two.\n"
    "\n"
    "  -window-id ID     draw into window ID (decimal or 0x hex); comes before -root\n"
    "  -root             draw into the window named by XSCREENSAVER_WINDOW, or else\n"
    "                    into the root window\n"
    "  -window           use an own window (the default)\n"
    "  -display NAME     the X display (default: $DISPLAY)\n"
    "  -fps              report ticks per second and CPU share on standard error\n"
    "  -no-fps           do not (the default)\n"
    "  -install, -noinstall, -visual ID, -delay N, -mono\n"
    "                    accepted and ignored: the saver uses the window's own visual\n"
    "                    and ticks 75 times a second\n"
    "  --preset N        community 0..9 (default: the clock in seconds mod 10)\n"
    "  --seed S          the clock reading at start (default: the real clock)\n"
    "  --ticks T         stop after T ticks (the first only clears; default: run on)\n"
    "  --habitat FILE    at exit, save the display habitat as a binary PPM, top row first\n"
    "  --help            show this text\n";

volatile std::sig_atomic_t stop_requested = 0;
bool window_gone = false;

void OnStopSignal(int) {
    stop_requested = 1;
}

// Errors about a vanished window mean the screen saver replaced it: time to go.
// Others are reported and survived.
int OnXError(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        window_gone = true;
        return 0;
    }
    char text[160];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "lumivor: X error: %s (request %d.%d)\n", text, error->request_code,
                 error->minor_code);
    return 0;
}

bool HasExtension(const char* list, const char* name) {
    const size_t n = std::strlen(name);
    for (const char* p = list; p && (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

long long NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long CpuNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Options {
    bool root = false;
    bool have_window_id = false;
    Window window_id = 0;
    const char* display_name = nullptr;
    bool fps = false;
    StartRequest start;
    unsigned long ticks = 0;  // 0: run until stopped
    std::string habitat_path;
    bool help = false;
};

bool ParseInteger(const char* text, int base, long long min, long long max, long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, base);
    if (errno != 0 || *end != '\0' || value < min || value > max) return false;
    *out = value;
    return true;
}

// Returns -1 when the options are good, else the exit status (2) after a message.
int ParseOptions(int argc, char** argv, Options* o, std::FILE* diag) {
    for (int i = 1; i < argc; ++i) {
        const std::string given = argv[i];
        // One dash or two: "--root" and "-root" are the same flag.
        const std::string flag = given.compare(0, 2, "--") == 0 ? given.substr(1) : given;
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long n = 0;
        auto bad_value = [&](const char* what) {
            if (!value)
                std::fprintf(diag, "lumivor: %s needs %s\n", given.c_str(), what);
            else
                std::fprintf(diag, "lumivor: %s needs %s, not '%s'\n", given.c_str(), what, value);
            return 2;
        };
        if (flag == "-help" || flag == "-help-window" || flag == "-h") {
            o->help = true;
        } else if (flag == "-root") {
            o->root = true;
        } else if (flag == "-window" || flag == "-install" || flag == "-noinstall" ||
                   flag == "-mono" || flag == "-no-fps") {
            if (flag == "-no-fps") o->fps = false;
        } else if (flag == "-fps") {
            o->fps = true;
        } else if (flag == "-window-id") {
            if (!ParseInteger(value, 0, 1, 0xffffffffLL, &n))
                return bad_value("a window id (decimal or 0x hex)");
            o->have_window_id = true;
            o->window_id = static_cast<Window>(n);
            ++i;
        } else if (flag == "-visual") {
            if (!value) return bad_value("a visual");
            ++i;
        } else if (flag == "-delay") {
            if (!ParseInteger(value, 10, 0, 0x7fffffffLL, &n))
                return bad_value("a delay in microseconds");
            ++i;
        } else if (flag == "-display") {
            if (!value) return bad_value("a display name");
            o->display_name = value;
            ++i;
        } else if (flag == "-preset") {
            if (!ParseInteger(value, 10, 0, 9, &n)) return bad_value("a community number 0..9");
            o->start.preset = static_cast<int>(n);
            ++i;
        } else if (flag == "-seed") {
            if (!ParseInteger(value, 10, 0, 0x7fffffffffffffffLL, &n))
                return bad_value("a clock reading (a non-negative integer)");
            o->start.fixed_seed = true;
            o->start.seed = static_cast<std::time_t>(n);
            ++i;
        } else if (flag == "-ticks") {
            if (!ParseInteger(value, 10, 1, 0x7fffffffffffffffLL, &n))
                return bad_value("a tick count of at least 1");
            o->ticks = static_cast<unsigned long>(n);
            ++i;
        } else if (flag == "-habitat") {
            if (!value) return bad_value("a file name");
            o->habitat_path = value;
            ++i;
        } else {
            std::fprintf(diag, "lumivor: unknown option '%s' (see 'lumivor --help')\n",
                         given.c_str());
            return 2;
        }
    }
    return -1;
}

// Ticks per second and CPU share, once a second and at the end, on standard error.
class FpsMeter {
  public:
    FpsMeter(bool on, std::FILE* out) : on_(on), out_(out) { Reset(NowNs()); }

    void AddTick(long long ns) { tick_ns_ += ns, ++ticks_, ++all_ticks_; }
    void AddPresent(long long ns) { present_ns_ += ns; }

    void Report(long long now, bool final) {
        if (!on_ || (!final && now - start_ < 1000000000LL)) return;
        const double wall = static_cast<double>(now - start_);
        const double cpu = static_cast<double>(CpuNs(CLOCK_PROCESS_CPUTIME_ID) - cpu_start_);
        if (wall > 0)
            std::fprintf(out_,
                         "lumivor: %.1f ticks/s, CPU %.0f%% of a core (world ticks %.0f%%, "
                         "presenting %.0f%% of the time)%s\n",
                         1e9 * static_cast<double>(ticks_) / wall, 100.0 * cpu / wall,
                         100.0 * static_cast<double>(tick_ns_) / wall,
                         100.0 * static_cast<double>(present_ns_) / wall, final ? ", at exit" : "");
        if (final) std::fprintf(out_, "lumivor: %lu ticks in all\n", all_ticks_);
        Reset(now);
    }

  private:
    void Reset(long long now) {
        start_ = now;
        cpu_start_ = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
        tick_ns_ = present_ns_ = 0;
        ticks_ = 0;
    }

    bool on_;
    std::FILE* out_;
    long long start_ = 0, cpu_start_ = 0, tick_ns_ = 0, present_ns_ = 0;
    unsigned long ticks_ = 0, all_ticks_ = 0;
};

class WindowHost {
  public:
    WindowHost(Display* display, std::FILE* diag) : dpy_(display), diag_(diag) {}
    ~WindowHost();

    // Opens or adopts the window and makes a GLX context for it; false after a message.
    bool Open(const Options& o);
    // Runs the saver until it is told to stop; returns the exit status.
    int Run(const Options& o);

  private:
    bool AdoptWindow(Window w);
    bool CreateOwnWindow();
    void HandleEvents(Lumivor_saverView& view);
    void Present(FramebufferSurface& surface);

    Display* dpy_;
    std::FILE* diag_;
    Window win_ = 0;
    bool own_window_ = false;
    Colormap colormap_ = 0;
    XVisualInfo* visual_ = nullptr;
    GLXContext context_ = nullptr;
    bool double_buffered_ = false;
    bool vsync_ = false;
    int width_ = 0, height_ = 0;
    bool mapped_ = false;
    bool quit_ = false;
    bool need_present_ = false;
    long long next_tick_ = 0;
    Atom wm_delete_ = 0;
};

WindowHost::~WindowHost() {
    if (context_) {
        glXMakeCurrent(dpy_, None, nullptr);
        glXDestroyContext(dpy_, context_);
    }
    if (own_window_ && win_) XDestroyWindow(dpy_, win_);
    if (colormap_) XFreeColormap(dpy_, colormap_);
    if (visual_) XFree(visual_);
    XSync(dpy_, False);
}

bool WindowHost::AdoptWindow(Window w) {
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(dpy_, w, &attrs)) {
        std::fprintf(diag_, "lumivor: there is no window 0x%lx\n", w);
        return false;
    }
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attrs.visual);
    int count = 0;
    visual_ = XGetVisualInfo(dpy_, VisualIDMask, &wanted, &count);
    int gl = 0;
    if (!visual_ || count < 1 || glXGetConfig(dpy_, visual_, GLX_USE_GL, &gl) != 0 || !gl) {
        std::fprintf(diag_, "lumivor: window 0x%lx has no OpenGL visual (visual 0x%lx)\n", w,
                     wanted.visualid);
        return false;
    }
    win_ = w;
    width_ = attrs.width;
    height_ = attrs.height;
    mapped_ = attrs.map_state != IsUnmapped;
    XSelectInput(dpy_, win_, StructureNotifyMask | ExposureMask);
    return true;
}

bool WindowHost::CreateOwnWindow() {
    const int screen = DefaultScreen(dpy_);
    int double_rgb[] = {GLX_RGBA, GLX_RED_SIZE,     8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                        8,        GLX_DOUBLEBUFFER, None};
    int single_rgb[] = {GLX_RGBA, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    visual_ = glXChooseVisual(dpy_, screen, double_rgb);
    if (!visual_) visual_ = glXChooseVisual(dpy_, screen, single_rgb);
    if (!visual_) {
        std::fprintf(diag_, "lumivor: the display offers no OpenGL visual with 8-bit RGB\n");
        return false;
    }
    const Window root = RootWindow(dpy_, screen);
    colormap_ = XCreateColormap(dpy_, root, visual_->visual, AllocNone);
    XSetWindowAttributes attrs{};
    attrs.colormap = colormap_;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    attrs.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask;
    width_ = kOwnWidth < DisplayWidth(dpy_, screen) ? kOwnWidth : DisplayWidth(dpy_, screen);
    height_ = kOwnHeight < DisplayHeight(dpy_, screen) ? kOwnHeight : DisplayHeight(dpy_, screen);
    win_ = XCreateWindow(dpy_, root, 0, 0, static_cast<unsigned>(width_),
                         static_cast<unsigned>(height_), 0, visual_->depth, InputOutput,
                         visual_->visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask,
                         &attrs);
    if (!win_) {
        std::fprintf(diag_, "lumivor: cannot create a window\n");
        return false;
    }
    own_window_ = true;
    XStoreName(dpy_, win_, "Lumivor");
    XClassHint class_hint{const_cast<char*>("lumivor"), const_cast<char*>("Lumivor")};
    XSetClassHint(dpy_, win_, &class_hint);
    wm_delete_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy_, win_, &wm_delete_, 1);
    XMapWindow(dpy_, win_);
    mapped_ = false;  // until MapNotify
    return true;
}

bool WindowHost::Open(const Options& o) {
    bool ok = false;
    if (o.have_window_id) {
        ok = AdoptWindow(o.window_id);
    } else if (o.root) {
        Window w = RootWindow(dpy_, DefaultScreen(dpy_));
        if (const char* env = std::getenv("XSCREENSAVER_WINDOW")) {
            long long id = 0;
            if (!ParseInteger(env, 0, 1, 0xffffffffLL, &id)) {
                std::fprintf(diag_, "lumivor: XSCREENSAVER_WINDOW is not a window id: '%s'\n", env);
                return false;
            }
            w = static_cast<Window>(id);
        }
        ok = AdoptWindow(w);
    } else {
        ok = CreateOwnWindow();
    }
    if (!ok) return false;

    context_ = glXCreateContext(dpy_, visual_, nullptr, True);
    if (!context_) context_ = glXCreateContext(dpy_, visual_, nullptr, False);
    if (!context_ || !glXMakeCurrent(dpy_, win_, context_)) {
        std::fprintf(diag_, "lumivor: cannot create an OpenGL context for window 0x%lx\n", win_);
        return false;
    }
    int double_buffered = 0;
    glXGetConfig(dpy_, visual_, GLX_DOUBLEBUFFER, &double_buffered);
    double_buffered_ = double_buffered != 0;

    // Swap at most once per display refresh where the driver can wait for it.
    const char* extensions = glXQueryExtensionsString(dpy_, DefaultScreen(dpy_));
    if (double_buffered_) {
        if (HasExtension(extensions, "GLX_EXT_swap_control")) {
            auto swap_interval = reinterpret_cast<void (*)(Display*, GLXDrawable, int)>(
                glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
            if (swap_interval) {
                swap_interval(dpy_, win_, 1);
                vsync_ = true;
            }
        } else if (HasExtension(extensions, "GLX_MESA_swap_control")) {
            auto swap_interval = reinterpret_cast<int (*)(unsigned)>(
                glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
            vsync_ = swap_interval && swap_interval(1) == 0;
        }
    }
    return !window_gone;
}

void WindowHost::HandleEvents(Lumivor_saverView& view) {
    while (XPending(dpy_) > 0) {
        XEvent event;
        XNextEvent(dpy_, &event);
        switch (event.type) {
            case ConfigureNotify:
                if (event.xconfigure.window == win_ &&
                    (event.xconfigure.width != width_ || event.xconfigure.height != height_)) {
                    width_ = event.xconfigure.width;
                    height_ = event.xconfigure.height;
                    view.setFrameSize({static_cast<double>(width_), static_cast<double>(height_)});
                }
                break;
            case Expose:
                if (event.xexpose.count == 0) need_present_ = true;
                break;
            case MapNotify:
                if (event.xmap.window == win_ && !mapped_) {
                    mapped_ = true;
                    next_tick_ = NowNs();  // go on from where it stopped, without a backlog
                    need_present_ = true;
                }
                break;
            case UnmapNotify:
                if (event.xunmap.window == win_) mapped_ = false;
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == win_) window_gone = true;
                break;
            case KeyPress: {
                char text[8] = {};
                KeySym key = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &key, nullptr);
                if (key == XK_Escape || key == XK_q || key == XK_Q) quit_ = true;
                break;
            }
            case ClientMessage:
                if (own_window_ && static_cast<Atom>(event.xclient.data.l[0]) == wm_delete_)
                    quit_ = true;
                break;
            default:
                break;
        }
    }
}

void WindowHost::Present(FramebufferSurface& surface) {
    if (window_gone) return;
    surface.MakeCurrent();
    surface.CopyTo(0, width_, height_);
    if (double_buffered_)
        glXSwapBuffers(dpy_, win_);
    else
        glFlush();
    need_present_ = false;
}

int WindowHost::Run(const Options& o) {
    int status = 0;
    FpsMeter meter(o.fps, diag_);
    if (o.fps)
        std::fprintf(diag_, "lumivor: window 0x%lx, %dx%d, %s-buffered, %s\n", win_, width_,
                     height_, double_buffered_ ? "double" : "single",
                     vsync_ ? "swaps wait for the display" : "presents up to 60 a second");
    {
        FramebufferSurface surface([this] {
            return glXGetCurrentContext() == context_ ||
                   glXMakeCurrent(dpy_, win_, context_) == True;
        });
        surface.diag = diag_;
        Lumivor_saverView view(
            SaverFrame{0, 0, {static_cast<double>(width_), static_cast<double>(height_)}},
            o.have_window_id, &surface);
        // The world is built when the window is first shown, at the size it then has
        // (a window manager may resize a new window as it maps it).
        bool started = false;
        unsigned long ticks_done = 0;
        long long last_present = 0;
        next_tick_ = NowNs();
        while (!stop_requested && !window_gone && !quit_) {
            HandleEvents(view);
            if (stop_requested || window_gone || quit_) break;
            long long now = NowNs();
            bool finished = false;
            if (mapped_ && !started) {
                view.startAnimation();
                started = true;
                now = next_tick_ = NowNs();
            }
            if (mapped_) {
                for (int late = 0; now >= next_tick_ && late < kMaxLateTicks; ++late) {
                    const long long cpu = CpuNs(CLOCK_THREAD_CPUTIME_ID);
                    view.animateOneFrame();
                    meter.AddTick(CpuNs(CLOCK_THREAD_CPUTIME_ID) - cpu);
                    next_tick_ += kTickNs;
                    need_present_ = true;
                    if (o.ticks && ++ticks_done >= o.ticks) {
                        finished = true;
                        break;
                    }
                }
                if (now - next_tick_ >= kTickNs) next_tick_ = now;  // too far behind: drop the rest
            }
            if (need_present_ && (mapped_ || finished) &&
                (finished || vsync_ || now - last_present >= kPresentNs)) {
                const long long cpu = CpuNs(CLOCK_THREAD_CPUTIME_ID);
                Present(surface);
                meter.AddPresent(CpuNs(CLOCK_THREAD_CPUTIME_ID) - cpu);
                last_present = now;
            }
            if (finished) break;
            meter.Report(now, false);

            // Sleep until the next tick or present is due, an event arrives or a signal
            // stops the wait; never longer than kMaxWaitNs.
            if (XPending(dpy_) > 0) continue;
            now = NowNs();
            long long wait = kMaxWaitNs;
            if (mapped_ && next_tick_ - now < wait) wait = next_tick_ - now;
            if (need_present_ && mapped_ && last_present + kPresentNs - now < wait)
                wait = last_present + kPresentNs - now;
            if (wait > 0) {
                pollfd fd{ConnectionNumber(dpy_), POLLIN, 0};
                const timespec timeout{static_cast<time_t>(wait / 1000000000LL),
                                       static_cast<long>(wait % 1000000000LL)};
                ppoll(&fd, 1, &timeout, nullptr);
            }
        }
        if (need_present_)
            Present(surface);  // the last ticks are shown even when a stop cut the wait short
        meter.Report(NowNs(), true);
        if (!o.habitat_path.empty() && !biotope.SaveHabitat(o.habitat_path.c_str(), false)) {
            std::fprintf(diag_, "lumivor: cannot save %s\n", o.habitat_path.c_str());
            status = 1;
        }
        std::fflush(stdout);
        surface.MakeCurrent();
    }  // the view destroys the world and lets go of the surface
    return status;
}

}  // namespace

int RunWindowHost(int argc, char** argv, std::FILE* diag) {
    Options o;
    const int bad = ParseOptions(argc, argv, &o, diag);
    if (bad >= 0) return bad;
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // A stop may come at any moment from here on; it ends the run with success.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a signal ends the loop's wait at once
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);

    Display* display = XOpenDisplay(o.display_name);
    if (!display) {
        const char* name = o.display_name ? o.display_name : std::getenv("DISPLAY");
        std::fprintf(diag, "lumivor: cannot open display '%s'\n", name ? name : "");
        return 1;
    }
    XSetErrorHandler(OnXError);

    const FixedStart fixed(o.start);
    int status = 1;
    {
        WindowHost host(display, diag);
        if (host.Open(o)) status = host.Run(o);
    }
    XCloseDisplay(display);
    return status;
}
