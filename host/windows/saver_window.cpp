// The saver's window on Windows. WGL draws into a persistent framebuffer object
// that is copied to the window after ticks and on WM_PAINT, as on X11. Where the
// driver offers no framebuffer objects, the saver draws straight into a
// single-buffered window and repaints it from the display habitat, which equals
// the drawn picture pixel for pixel.
#include "host/windows/saver_window.h"

#include <windows.h>
// windows.h first: gl.h needs its calling-convention macros.
#include <GL/gl.h>
#include <mmsystem.h>
#include <windowsx.h>

#include <cstdlib>
#include <memory>

#include "host/shared/fbo_surface.h"
#include "host/windows/gl_entry_points.h"
#include "host/windows/window_buffer.h"
#include "saver/saver_view.h"
#include "world/biotope.h"

namespace {

constexpr long long kTickNs = 1000000000LL / 75;  // the saver's tick, 1/75 s
constexpr int kMaxLateTicks = 4;               // late ticks run at once before the rest is dropped
constexpr long long kMaxWaitNs = 100000000LL;  // the loop wakes at least this often
constexpr long long kPresentNs = 1000000000LL / 60;  // at most 60 presents a second
constexpr int kMouseSlack = 4;  // pixels the mouse may move (a nudged desk) before the saver ends
const char kClassName[] = "LumivorSaver";

long long NowNs() {
    static const long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart / frequency * 1000000000LL +
           t.QuadPart % frequency * 1000000000LL / frequency;
}

long long ProcessCpuNs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ns = [](FILETIME t) {
        return ((static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 100;
    };
    return ns(kernel) + ns(user);
}

class SaverWindow {
  public:
    SaverWindow(const ScrOptions& o, std::FILE* diag) : o_(o), diag_(diag) {}
    ~SaverWindow() { Close(); }

    // Makes the window and its OpenGL context; false after a message.
    bool Open();
    int Run();

  private:
    bool OpenWith(bool window_buffer);
    void Close();
    bool MakeCurrent();
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void PumpMessages();
    void FollowParent();
    // Shows the surface in the window; `repaint` when Windows asked for it.
    void Present(bool repaint = false);

    const ScrOptions& o_;
    std::FILE* diag_;
    bool full_screen_ = false;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HGLRC context_ = nullptr;
    bool window_buffer_ = false;
    bool window_gone_ = false;
    bool quit_ = false;
    bool need_present_ = false;
    bool have_mouse_ = false;
    POINT mouse_{};
    int width_ = 0, height_ = 0;
    FramebufferSurface* fbo_surface_ = nullptr;  // while Run has one
    Lumivor_saverView* view_ = nullptr;          // while Run has one
};

bool SaverWindow::Open() {
    full_screen_ = o_.mode == ScrMode::kFullScreen;
    parent_ = reinterpret_cast<HWND>(o_.window);
    if (!full_screen_ && !IsWindow(parent_)) {
        std::fprintf(diag_, "lumivor: there is no window %llu to preview in\n",
                     static_cast<unsigned long long>(o_.window));
        return false;
    }
    WNDCLASSA cls{};
    cls.style = CS_OWNDC;  // one device context for the life of the OpenGL context
    cls.lpfnWndProc = Proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = full_screen_ ? nullptr : LoadCursor(nullptr, IDC_ARROW);
    cls.lpszClassName = kClassName;
    if (!RegisterClassA(&cls)) {
        std::fprintf(diag_, "lumivor: cannot register the window class (error %lu)\n",
                     GetLastError());
        return false;
    }
    if (o_.window_buffer) return OpenWith(true);
    if (!OpenWith(false)) return false;
    if (LoadFramebufferEntryPoints()) return true;
    // No framebuffer objects: a pixel format cannot change, so a new window.
    Close();
    return OpenWith(true);
}

bool SaverWindow::OpenWith(bool window_buffer) {
    window_buffer_ = window_buffer;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (full_screen_) {
        const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        width_ = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        height_ = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        window_ = CreateWindowExA(WS_EX_TOPMOST, kClassName, "Lumivor", WS_POPUP | WS_VISIBLE, x, y,
                                  width_, height_, nullptr, nullptr, instance, this);
    } else {
        RECT r{};
        GetClientRect(parent_, &r);
        width_ = r.right;
        height_ = r.bottom;
        window_ = CreateWindowExA(0, kClassName, "Lumivor preview",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, width_, height_,
                                  parent_, nullptr, instance, this);
    }
    if (window_ == nullptr) {
        std::fprintf(diag_, "lumivor: cannot create the saver's window (error %lu)\n",
                     GetLastError());
        return false;
    }
    dc_ = GetDC(window_);
    PIXELFORMATDESCRIPTOR want{};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (window_buffer ? 0 : PFD_DOUBLEBUFFER);
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 24;
    want.iLayerType = PFD_MAIN_PLANE;
    const int format = dc_ ? ChoosePixelFormat(dc_, &want) : 0;
    PIXELFORMATDESCRIPTOR got{};
    if (format == 0 || !DescribePixelFormat(dc_, format, sizeof got, &got) || got.cRedBits < 8 ||
        got.cGreenBits < 8 || got.cBlueBits < 8 || !SetPixelFormat(dc_, format, &want)) {
        std::fprintf(diag_, "lumivor: the display offers no OpenGL pixel format with 8-bit RGB\n");
        return false;
    }
    context_ = wglCreateContext(dc_);
    if (context_ == nullptr || !wglMakeCurrent(dc_, context_)) {
        std::fprintf(diag_, "lumivor: cannot create an OpenGL context (error %lu)\n",
                     GetLastError());
        return false;
    }
    if (window_buffer_) {
        glDrawBuffer(GL_FRONT);
        glReadBuffer(GL_FRONT);
    }
    return true;
}

void SaverWindow::Close() {
    if (context_) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context_);
        context_ = nullptr;
    }
    if (window_ && !window_gone_) {
        if (dc_) ReleaseDC(window_, dc_);
        DestroyWindow(window_);
        // Let the destruction's messages pass; a new window may follow.
        PumpMessages();
        quit_ = false;
    }
    window_ = nullptr;
    dc_ = nullptr;
    window_gone_ = false;
}

bool SaverWindow::MakeCurrent() {
    if (window_gone_ || !context_) return false;
    return wglGetCurrentContext() == context_ || wglMakeCurrent(dc_, context_);
}

LRESULT CALLBACK SaverWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<SaverWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SaverWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window)
        return DefWindowProcA(window, message, wparam, lparam);
    return self->Handle(message, wparam, lparam);
}

LRESULT SaverWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window_, &paint);
            EndPaint(window_, &paint);
            Present(true);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the whole window is drawn by OpenGL
        case WM_SETCURSOR:
            if (!full_screen_) break;
            SetCursor(nullptr);
            return TRUE;
        case WM_MOUSEMOVE:
            if (full_screen_) {
                // The first move comes from the window appearing under the mouse.
                const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
                if (!have_mouse_) {
                    mouse_ = at;
                    have_mouse_ = true;
                } else if (std::abs(at.x - mouse_.x) > kMouseSlack ||
                           std::abs(at.y - mouse_.y) > kMouseSlack) {
                    quit_ = true;
                }
            }
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
        case WM_MOUSEWHEEL:
            if (full_screen_) quit_ = true;
            return 0;
        case WM_SYSCOMMAND:
            // No second saver and no window menu while this one runs.
            if (full_screen_ &&
                ((wparam & 0xFFF0) == SC_SCREENSAVE || (wparam & 0xFFF0) == SC_KEYMENU))
                return 0;
            if ((wparam & 0xFFF0) == SC_CLOSE) {
                quit_ = true;
                return 0;
            }
            break;
        case WM_CLOSE:
        case WM_ENDSESSION:
            quit_ = true;
            return 0;
        case WM_QUERYENDSESSION:
            quit_ = true;
            return TRUE;
        case WM_DESTROY:
            // Also when the preview's parent is destroyed: the child goes with it.
            window_gone_ = true;
            quit_ = true;
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window_, message, wparam, lparam);
}

void SaverWindow::PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_ = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The preview keeps the size of its parent's client area and ends with it.
void SaverWindow::FollowParent() {
    if (full_screen_ || window_gone_) return;
    if (!IsWindow(parent_)) {
        window_gone_ = true;
        quit_ = true;
        return;
    }
    RECT r{};
    GetClientRect(parent_, &r);
    if (r.right != width_ || r.bottom != height_) {
        width_ = r.right;
        height_ = r.bottom;
        MoveWindow(window_, 0, 0, width_, height_, TRUE);
        if (view_) view_->setFrameSize({static_cast<double>(width_), static_cast<double>(height_)});
    }
}

void SaverWindow::Present(bool repaint) {
    if (!MakeCurrent()) return;
    if (window_buffer_) {
        // A repaint is asked for where the window was covered and lost its pixels.
        if (repaint)
            RepaintFromHabitat(width_, height_);
        else
            glFlush();
    } else if (fbo_surface_) {
        fbo_surface_->MakeCurrent();
        fbo_surface_->CopyTo(0, width_, height_);
        SwapBuffers(dc_);
    }
    need_present_ = false;
}

int SaverWindow::Run() {
    int status = 0;
    unsigned long ticks_done = 0;
    const long long wall_start = NowNs(), cpu_start = ProcessCpuNs();
    timeBeginPeriod(1);  // waits of a millisecond, not the default 15.6
    if (full_screen_) ShowCursor(FALSE);
    {
        auto make_current = [this] { return MakeCurrent(); };
        std::unique_ptr<SaverSurface> surface;
        if (window_buffer_) {
            surface = std::make_unique<WindowBufferSurface>(make_current);
        } else {
            auto fbo = std::make_unique<FramebufferSurface>(make_current);
            fbo->diag = diag_;
            fbo_surface_ = fbo.get();
            surface = std::move(fbo);
        }
        Lumivor_saverView view(
            SaverFrame{0, 0, {static_cast<double>(width_), static_cast<double>(height_)}},
            !full_screen_, surface.get());
        view_ = &view;
        view.startAnimation();
        long long next_tick = NowNs(), last_present = 0;
        bool holding = false;  // the asked-for ticks are done: the picture stays
        while (!quit_) {
            PumpMessages();
            FollowParent();
            if (quit_) break;
            long long now = NowNs();
            for (int late = 0; !holding && now >= next_tick && late < kMaxLateTicks; ++late) {
                view.animateOneFrame();
                next_tick += kTickNs;
                need_present_ = true;
                if (++ticks_done == o_.ticks) holding = true;
            }
            if (now - next_tick >= kTickNs) next_tick = now;  // too far behind: drop the rest
            if (need_present_ && (holding || now - last_present >= kPresentNs)) {
                Present();
                last_present = now;
            }
            now = NowNs();
            long long wait = holding ? kMaxWaitNs : next_tick - now;
            if (need_present_ && last_present + kPresentNs - now < wait)
                wait = last_present + kPresentNs - now;
            if (wait > kMaxWaitNs) wait = kMaxWaitNs;
            if (wait > 0) {
                // Whole milliseconds, rounded up: waking before the tick is due would spin.
                const auto ms = static_cast<DWORD>((wait + 999999) / 1000000);
                MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
            }
        }
        if (need_present_) Present();  // the last ticks are shown
        if (o_.fps) {
            const double wall = static_cast<double>(NowNs() - wall_start);
            std::fprintf(
                diag_, "lumivor: %dx%d, drawn %s, %.1f ticks/s, CPU %.0f%% of a core over %.1f s\n",
                width_, height_,
                window_buffer_ ? "in the window's own buffer" : "on a framebuffer object",
                1e9 * static_cast<double>(ticks_done) / wall,
                100.0 * static_cast<double>(ProcessCpuNs() - cpu_start) / wall, wall / 1e9);
        }
        if (!o_.habitat_path.empty() &&
            !biotope.SaveHabitat(o_.habitat_path.c_str(), kTopRowFirst)) {
            std::fprintf(diag_, "lumivor: cannot save %s\n", o_.habitat_path.c_str());
            status = 1;
        }
        std::fflush(stdout);
        MakeCurrent();
        view_ = nullptr;
        // The view destroys the world and lets go of the surface here.
    }
    fbo_surface_ = nullptr;
    timeEndPeriod(1);
    if (full_screen_) ShowCursor(TRUE);
    return status;
}

}  // namespace

int RunSaverWindow(const ScrOptions& options, std::FILE* diag) {
    SaverWindow window(options, diag);
    if (!window.Open()) return 1;
    return window.Run();
}
