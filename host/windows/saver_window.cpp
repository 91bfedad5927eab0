// The saver's window on Windows, drawn one of two ways. Through OpenGL, the
// trails go into a persistent framebuffer object that is copied whole to the
// window after ticks and on WM_PAINT (what a GPU does in no time). Where OpenGL
// is software (Microsoft's "GDI Generic" in virtual machines and remote
// sessions, Mesa under Wine), drawing the trails through it and copying the
// whole surface costs most of a core: there the program paints them into a DIB
// of its own and shows only the changed rectangles with GDI. Both show the
// same picture at every tick: the habitat, pixel for pixel.
#include "host/windows/saver_window.h"

#include <windows.h>
// windows.h first: gl.h needs its calling-convention macros.
#include <GL/gl.h>
#include <mmsystem.h>
#include <windowsx.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "host/shared/fbo_surface.h"
#include "host/shared/run_loop.h"
#include "host/windows/gdi_picture.h"
#include "host/windows/gl_entry_points.h"
#include "saver/saver.h"
#include "saver/saver_view.h"
#include "world/biotope.h"

namespace {

constexpr int kMouseSlack = 4;  // pixels the mouse may move (a nudged desk) before the saver ends
const char kClassName[] = "LumivorSaver";

// Renderers that draw in software, by their GL_RENDERER: Microsoft's own
// (vendor "Microsoft Corporation"), and Mesa's (Wine, machines without a GPU
// driver). The vendor alone does not tell: Microsoft's OpenGL over Direct3D 12
// names a GPU.
bool IsSoftware(const char* renderer) {
    for (const char* name :
         {"GDI Generic", "llvmpipe", "softpipe", "Software Rasterizer", "Basic Render Driver"})
        if (std::strstr(renderer, name) != nullptr) return true;
    return false;
}

// A window's OpenGL context. A window takes one pixel format for its life,
// so a window that GDI paints never gets one.
class GLContext {
  public:
    ~GLContext() { Release(); }
    // Null when the context is current on the window, else why not.
    const char* Open(HWND window);
    bool MakeCurrent() const {
        return context_ && (wglGetCurrentContext() == context_ || wglMakeCurrent(dc_, context_));
    }
    void Release();
    HDC dc() const { return dc_; }

  private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HGLRC context_ = nullptr;
};

const char* GLContext::Open(HWND window) {
    window_ = window;
    dc_ = GetDC(window);
    PIXELFORMATDESCRIPTOR want{};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = 24;
    want.iLayerType = PFD_MAIN_PLANE;
    const int format = dc_ ? ChoosePixelFormat(dc_, &want) : 0;
    PIXELFORMATDESCRIPTOR got{};
    if (format == 0 || !DescribePixelFormat(dc_, format, sizeof got, &got) || got.cRedBits < 8 ||
        got.cGreenBits < 8 || got.cBlueBits < 8 || !SetPixelFormat(dc_, format, &want))
        return "no pixel format with 8-bit RGB";
    context_ = wglCreateContext(dc_);
    if (context_ == nullptr || !wglMakeCurrent(dc_, context_)) return "no context";
    return nullptr;
}

void GLContext::Release() {
    if (context_) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context_);
    }
    if (dc_) ReleaseDC(window_, dc_);
    context_ = nullptr;
    dc_ = nullptr;
}

// What OpenGL offers here, asked on a hidden window of its own.
struct OpenGLFacts {
    const char* missing = nullptr;  // why the saver cannot draw through it, or null
    bool software = false;
    std::string renderer;
};

OpenGLFacts AskOpenGL() {
    OpenGLFacts facts;
    HWND probe = CreateWindowExA(0, kClassName, "Lumivor", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    {
        GLContext gl;
        facts.missing = probe ? gl.Open(probe) : "no window to ask it on";
        if (facts.missing == nullptr) {
            const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            const auto* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
            facts.renderer =
                std::string(renderer ? renderer : "?") + ", " + (vendor ? vendor : "?");
            facts.software = IsSoftware(renderer ? renderer : "");
            if (!LoadFramebufferEntryPoints()) facts.missing = "no framebuffer objects";
        }
    }
    if (probe) DestroyWindow(probe);
    return facts;
}

// What the run loop needs of a way of drawing.
class Drawing {
  public:
    virtual ~Drawing() = default;
    // Builds the world at width x height; the next tick clears.
    virtual void Start(int width, int height) = 0;
    // The window has a new size: the next tick clears at that size, the world
    // keeps its own. False, reported, when the new size cannot be had.
    virtual bool Resize(int width, int height) = 0;
    virtual void Tick() = 0;
    // Shows what changed; returns the share of the window copied.
    virtual double Present() = 0;
    // Shows `area` of the window again: Windows lost it (WM_PAINT).
    virtual void Repaint(HDC dc, const RECT& area) = 0;
};

// Through the saver view and OpenGL, on a framebuffer object.
class OpenGLDrawing : public Drawing {
  public:
    OpenGLDrawing(GLContext& gl, const WindowJob& job, int width, int height, bool preview)
        : gl_(gl),
          surface_([&gl] { return gl.MakeCurrent(); }),
          view_(SaverFrame{0, 0, {static_cast<double>(width), static_cast<double>(height)}},
                preview, &surface_),
          width_(width),
          height_(height) {
        surface_.diag = job.diag;
        view_.start = job.start;
    }
    // The view destroys the world and lets go of the surface, which needs the context.
    ~OpenGLDrawing() override { gl_.MakeCurrent(); }
    void Start(int, int) override { view_.startAnimation(); }
    bool Resize(int width, int height) override {
        width_ = width;
        height_ = height;
        view_.setFrameSize({static_cast<double>(width), static_cast<double>(height)});
        return true;
    }
    void Tick() override { view_.animateOneFrame(); }
    double Present() override {
        surface_.MakeCurrent();
        surface_.CopyTo(0, width_, height_);
        SwapBuffers(gl_.dc());
        return 1;
    }
    void Repaint(HDC, const RECT&) override { Present(); }

  private:
    GLContext& gl_;
    FramebufferSurface surface_;
    Lumivor_saverView view_;  // after surface_: it lets go of the surface as it ends
    int width_, height_;
};

// Painted by the program into a DIB, ticked by the saver's heart, shown with GDI.
class GdiDrawing : public Drawing {
  public:
    GdiDrawing(HDC dc, const WindowJob& job) : dc_(dc), picture_(job.diag) {
        saver_.start = job.start;
    }
    ~GdiDrawing() override { biotope.Destroy(); }
    bool Open(int width, int height) { return picture_.Open(width, height); }
    void Start(int width, int height) override { saver_.Start(width, height); }
    bool Resize(int width, int height) override {
        saver_.SurfaceChanged();
        return picture_.Open(width, height);
    }
    void Tick() override { saver_.Tick(picture_.trails()); }
    double Present() override {
        const double area = static_cast<double>(picture_.width()) * picture_.height();
        return area > 0 ? static_cast<double>(picture_.Present(dc_)) / area : 0;
    }
    void Repaint(HDC dc, const RECT& area) override { picture_.Paint(dc, area); }

  private:
    HDC dc_;
    GdiPicture picture_;
    Saver saver_;
};

// The saver's window as the run loop sees it.
class SaverWindow : public RunHost {
  public:
    SaverWindow(const WindowJob& job, HWND parent)
        : job_(job), diag_(job.diag), parent_(parent), full_screen_(parent == nullptr) {}
    ~SaverWindow() override;

    // Makes the window and its way of drawing; false after a message.
    bool Open();
    int Run();

    HostNews Pump(long long wait_ns) override;
    bool CanTick() const override { return started_; }
    void Tick() override { drawing_->Tick(); }
    double Present() override { return drawing_->Present(); }
    void Finish(bool unshown) override {
        if (unshown && !window_gone_) drawing_->Present();  // the last ticks are shown
    }

  private:
    bool CreateSaverWindow();
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void PumpMessages();
    void FollowParent();

    const WindowJob& job_;
    std::FILE* diag_;
    HWND parent_;
    bool full_screen_;
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    GLContext gl_;
    std::unique_ptr<Drawing> drawing_;  // after gl_: an OpenGL drawing ends first
    std::string way_;                   // for the --fps report
    bool window_gone_ = false;
    bool started_ = false;
    bool quit_ = false;
    bool resize_failed_ = false;
    bool have_mouse_ = false;
    POINT mouse_{};
    int width_ = 0, height_ = 0;
};

SaverWindow::~SaverWindow() {
    drawing_.reset();
    gl_.Release();
    if (window_ && !window_gone_) DestroyWindow(window_);
}

bool SaverWindow::Open() {
    if (!full_screen_ && !IsWindow(parent_)) {
        std::fprintf(diag_, "lumivor: there is no window %llu to preview in\n",
                     static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parent_)));
        return false;
    }
    WNDCLASSA cls{};
    cls.style = CS_OWNDC;  // one device context for the window's life
    cls.lpfnWndProc = Proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = full_screen_ ? nullptr : LoadCursor(nullptr, IDC_ARROW);
    cls.lpszClassName = kClassName;
    if (!RegisterClassA(&cls)) {
        std::fprintf(diag_, "lumivor: cannot register the window class (error %lu)\n",
                     GetLastError());
        return false;
    }
    bool gdi = job_.present == PresentChoice::kParts;
    std::string renderer = "not asked";
    if (!gdi) {
        const OpenGLFacts gl = AskOpenGL();
        if (gl.missing && job_.present == PresentChoice::kFull) {
            std::fprintf(diag_, "lumivor: cannot draw through OpenGL here: %s\n", gl.missing);
            return false;
        }
        gdi = gl.missing || PaintsPixels(job_.present, true, gl.software);
        renderer = gl.missing ? gl.missing : gl.renderer;
    }
    if (!CreateSaverWindow()) return false;
    if (gdi) {
        auto drawing = std::make_unique<GdiDrawing>(dc_, job_);
        if (!drawing->Open(width_, height_)) return false;
        drawing_ = std::move(drawing);
        way_ =
            "painted by the program, changed parts shown with GDI, up to 60 a second "
            "(OpenGL: " +
            renderer + ")";
        return true;
    }
    const char* missing = gl_.Open(window_);
    if (missing == nullptr && !LoadFramebufferEntryPoints()) missing = "no framebuffer objects";
    if (missing != nullptr) {
        std::fprintf(diag_, "lumivor: cannot draw through OpenGL here: %s\n", missing);
        return false;
    }
    drawing_ = std::make_unique<OpenGLDrawing>(gl_, job_, width_, height_, !full_screen_);
    way_ = "OpenGL on a framebuffer object, up to 60 presents a second (" + renderer + ")";
    return true;
}

bool SaverWindow::CreateSaverWindow() {
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
    dc_ = window_ ? GetDC(window_) : nullptr;
    if (dc_ == nullptr) {
        std::fprintf(diag_, "lumivor: cannot create the saver's window (error %lu)\n",
                     GetLastError());
        return false;
    }
    return true;
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
            const HDC dc = BeginPaint(window_, &paint);
            if (drawing_ && dc) drawing_->Repaint(dc, paint.rcPaint);
            EndPaint(window_, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the whole window is the picture
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
    if (r.right == width_ && r.bottom == height_) return;
    width_ = r.right;
    height_ = r.bottom;
    MoveWindow(window_, 0, 0, width_, height_, TRUE);
    if (!drawing_->Resize(width_, height_)) resize_failed_ = quit_ = true;
}

HostNews SaverWindow::Pump(long long wait_ns) {
    if (wait_ns > 0) {
        // Whole milliseconds, rounded up: waking before the tick is due would spin.
        const auto ms = static_cast<DWORD>((wait_ns + 999999) / 1000000);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    }
    PumpMessages();
    FollowParent();
    HostNews news;
    news.failed = resize_failed_;
    news.ended = quit_;
    if (!started_ && !quit_) {
        drawing_->Start(width_, height_);
        started_ = news.started = true;
    }
    return news;
}

int SaverWindow::Run() {
    if (job_.fps) std::fprintf(diag_, "lumivor: %dx%d, %s\n", width_, height_, way_.c_str());
    timeBeginPeriod(1);  // waits of a millisecond, not the default 15.6
    if (full_screen_) ShowCursor(FALSE);
    const int status = RunLoop(job_, *this, false);
    std::fflush(stdout);
    timeEndPeriod(1);
    if (full_screen_) ShowCursor(TRUE);
    return status;
}

}  // namespace

int RunSaverWindow(const WindowJob& job, std::uintptr_t preview_parent) {
    SaverWindow window(job, reinterpret_cast<HWND>(preview_parent));
    if (!window.Open()) return 1;
    return window.Run();
}
