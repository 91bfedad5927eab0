// The `lumivor` program end to end: as a window and screen-saver hack under a
// real X server (Xvfb, started here), and as the headless OpenGL renderer.
// Screenshots of the window are compared with the habitat file saved at exit.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>
// (kept apart so that include sorting leaves it first)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <png.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/x_server.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";
const std::string kSeed = "1765000000";

struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;  // top row first
};

// Waits until the world is built (its summary line is on standard error) and the
// program has run on for `more`.
bool WaitForWorld(TestChild* child, std::chrono::milliseconds more) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (child->Err().find("community '") == std::string::npos) {
        if (Clock::now() >= end || !child->Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(more);
    return child->Running();
}

// Habitat file: "P6", comment lines, "W H", "255", rows top first.
bool ReadPPM(const std::string& path, Picture* p) {
    std::ifstream f(path, std::ios::binary);
    std::string magic, line;
    if (!std::getline(f, magic) || magic != "P6") return false;
    while (std::getline(f, line) && line.rfind("#", 0) == 0) {
    }
    std::stringstream size(line);
    int maxval = 0;
    if (!(size >> p->w >> p->h) || !(f >> maxval) || maxval != 255 || f.get() != '\n') return false;
    p->rgb.resize(static_cast<size_t>(p->w) * p->h * 3);
    f.read(reinterpret_cast<char*>(p->rgb.data()), static_cast<std::streamsize>(p->rgb.size()));
    return static_cast<size_t>(f.gcount()) == p->rgb.size();
}

bool ReadPNG(const std::string& path, Picture* p) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    p->w = static_cast<int>(image.width);
    p->h = static_cast<int>(image.height);
    p->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr) != 0;
}

int Shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

Picture Screenshot(Display* dpy, Window w) {
    Picture p;
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(dpy, w, &attrs)) return p;
    XImage* image = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(attrs.width),
                              static_cast<unsigned>(attrs.height), AllPlanes, ZPixmap);
    if (!image) return p;
    p.w = attrs.width;
    p.h = attrs.height;
    const int rs = Shift(image->red_mask), gs = Shift(image->green_mask),
              bs = Shift(image->blue_mask);
    for (int y = 0; y < p.h; ++y) {
        for (int x = 0; x < p.w; ++x) {
            const unsigned long px = XGetPixel(image, x, y);
            p.rgb.push_back(static_cast<uint8_t>((px & image->red_mask) >> rs));
            p.rgb.push_back(static_cast<uint8_t>((px & image->green_mask) >> gs));
            p.rgb.push_back(static_cast<uint8_t>((px & image->blue_mask) >> bs));
        }
    }
    XDestroyImage(image);
    return p;
}

void ExpectSamePicture(const Picture& shown, const Picture& saved) {
    ASSERT_EQ(shown.w, saved.w);
    ASSERT_EQ(shown.h, saved.h);
    ASSERT_EQ(shown.rgb.size(), saved.rgb.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < shown.rgb.size(); ++i)
        if (shown.rgb[i] != saved.rgb[i] && differing++ == 0) first = i / 3;
    EXPECT_EQ(differing, 0u) << "first differing pixel: (" << first % shown.w << ", "
                             << first / shown.w << ") from the top left";
}

// True when the picture holds more than one colour: the bots drew something.
bool HasDrawing(const Picture& p) {
    for (size_t i = 3; i < p.rgb.size(); ++i)
        if (p.rgb[i] != p.rgb[i % 3]) return true;
    return false;
}

class HostTest : public ::testing::Test {
  protected:
    static constexpr int kScreenW = 240, kScreenH = 160;

    static void SetUpTestSuite() { x_.Start(kScreenW, kScreenH); }
    static void TearDownTestSuite() { x_.Stop(); }

    void SetUp() override {
        if (!x_.display) {
            const char* ci = std::getenv("CI");
            if (ci && std::string(ci) == "true")
                FAIL() << "no X server: Xvfb is missing or did not start";
            GTEST_SKIP() << "Xvfb is not installed or did not start";
        }
    }

    void TearDown() override {
        for (Window w : windows_) XDestroyWindow(x_.display, w);
        windows_.clear();
        if (x_.display) XSync(x_.display, False);
        for (const std::string& f : files_) unlink(f.c_str());
    }

    std::string TempFile(const std::string& name) {
        files_.push_back(::testing::TempDir() + "lumivor_host_" + std::to_string(getpid()) + "_" +
                         name);
        return files_.back();
    }

    Window MakeWindow(int w, int h, bool map = true) {
        const Window win =
            XCreateSimpleWindow(x_.display, DefaultRootWindow(x_.display), 5, 5,
                                static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0, 0);
        if (map) XMapWindow(x_.display, win);
        XSync(x_.display, False);
        windows_.push_back(win);
        return win;
    }

    static std::string Hex(Window w) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%lx", w);
        return text;
    }

    // Runs lumivor to completion (a fixed world, a fixed tick count) and returns its status.
    int RunToEnd(std::vector<std::string> args, const std::string& habitat,
                 const std::vector<std::string>& env = {}, std::string* err = nullptr) {
        const std::vector<std::string> fixed = {"--seed",  kSeed, "--preset",  "0",
                                                "--ticks", "25",  "--habitat", habitat};
        args.insert(args.end(), fixed.begin(), fixed.end());
        TestChild child(kLumivor);
        if (!child.Start(args, env, x_.display_name)) return -1;
        const int status = child.Wait(std::chrono::seconds(30));
        if (err) *err = child.Err();
        if (status != 0) ADD_FAILURE() << "lumivor failed (" << status << "): " << child.Err();
        return status;
    }

    void ExpectWindowShowsHabitat(Window w, const std::string& habitat) {
        Picture saved;
        ASSERT_TRUE(ReadPPM(habitat, &saved));
        const Picture shown = Screenshot(x_.display, w);
        ExpectSamePicture(shown, saved);
    }

    static TestXServer x_;
    std::vector<Window> windows_;
    std::vector<std::string> files_;
};

TestXServer HostTest::x_;

TEST_F(HostTest, RootWindowShowsTheSavedHabitat) {
    const std::string habitat = TempFile("root.ppm");
    ASSERT_EQ(RunToEnd({"-root"}, habitat), 0);
    Picture saved;
    ASSERT_TRUE(ReadPPM(habitat, &saved));
    EXPECT_TRUE(HasDrawing(saved));
    ExpectWindowShowsHabitat(DefaultRootWindow(x_.display), habitat);
}

TEST_F(HostTest, ScreenSaverWindowFromTheEnvironment) {
    const Window w = MakeWindow(150, 100);
    const std::string habitat = TempFile("env.ppm");
    ASSERT_EQ(RunToEnd({"--root"}, habitat, {"XSCREENSAVER_WINDOW=" + Hex(w)}), 0);
    ExpectWindowShowsHabitat(w, habitat);
}

TEST_F(HostTest, WindowIdInDecimalOrHexWithOneDashOrTwo) {
    struct Case {
        const char* flag;
        bool hex;
    };
    for (const Case c : {Case{"-window-id", false}, Case{"--window-id", true}}) {
        SCOPED_TRACE(c.flag);
        const Window w = MakeWindow(97, 61);
        const std::string habitat = TempFile("id.ppm");
        // The window id comes before -root.
        ASSERT_EQ(RunToEnd({c.flag, c.hex ? Hex(w) : std::to_string(w), "-root"}, habitat), 0);
        ExpectWindowShowsHabitat(w, habitat);
    }
}

TEST_F(HostTest, TinyWindowsRunWithoutDrawing) {
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{40, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Window win = MakeWindow(w, h);
        const std::string habitat = TempFile("tiny.ppm");
        ASSERT_EQ(RunToEnd({"-window-id", Hex(win)}, habitat), 0);
        ExpectWindowShowsHabitat(win, habitat);
    }
}

TEST_F(HostTest, UnmappedWindowGetsNoTicksUntilShown) {
    const Window w = MakeWindow(80, 60, false);
    const std::string habitat = TempFile("unmapped.ppm");
    TestChild child(kLumivor);
    ASSERT_TRUE(child.Start({"-window-id", Hex(w), "--seed", kSeed, "--preset", "0", "--ticks", "5",
                             "--habitat", habitat},
                            {}, x_.display_name));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(child.Running()) << "ran its ticks on an unmapped window";
    XMapWindow(x_.display, w);
    XSync(x_.display, False);
    EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0) << child.Err();
    ExpectWindowShowsHabitat(w, habitat);
}

TEST_F(HostTest, FollowsTheWindowsSizeAndKeepsItsWorld) {
    const Window w = MakeWindow(160, 120);
    const std::string habitat = TempFile("resized.ppm");
    TestChild child(kLumivor);
    ASSERT_TRUE(
        child.Start({"-window-id", Hex(w), "--seed", kSeed, "--preset", "0", "--habitat", habitat},
                    {}, x_.display_name));
    ASSERT_TRUE(WaitForWorld(&child, std::chrono::milliseconds(300))) << child.Err();
    XResizeWindow(x_.display, w, 100, 70);
    XSync(x_.display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(child.pid, SIGTERM);
    ASSERT_EQ(child.Wait(std::chrono::seconds(5)), 0) << child.Err();

    // The world keeps its 160x120 size and is drawn from the bottom-left corner of the
    // cleared, smaller window: every pixel is the clear colour or its world cell.
    Picture saved;
    ASSERT_TRUE(ReadPPM(habitat, &saved));
    ASSERT_EQ(saved.w, 160);
    const Picture shown = Screenshot(x_.display, w);
    ASSERT_EQ(shown.w, 100);
    ASSERT_EQ(shown.h, 70);
    int drawn = 0, wrong = 0;
    for (int r = 0; r < 70; ++r) {
        for (int x = 0; x < 100; ++x) {
            const uint8_t* p = &shown.rgb[(static_cast<size_t>(r) * 100 + x) * 3];
            const uint8_t* cell = &saved.rgb[(static_cast<size_t>(50 + r) * 160 + x) * 3];
            const bool clear = p[0] == 201 && p[1] == 202 && p[2] == 196;
            if (std::memcmp(p, cell, 3) == 0)
                drawn += !clear;
            else
                wrong += !clear;
        }
    }
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(wrong, 0);
}

TEST_F(HostTest, StopSignalsEndItPromptlyWithSuccess) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        const Window w = MakeWindow(120, 80);
        TestChild child(kLumivor);
        ASSERT_TRUE(child.Start({"-window-id", Hex(w)}, {}, x_.display_name));
        ASSERT_TRUE(WaitForWorld(&child, std::chrono::milliseconds(300))) << child.Err();
        const auto sent = Clock::now();
        kill(child.pid, sig);
        EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0) << child.Err();
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(1));
    }
}

TEST_F(HostTest, VanishedWindowEndsItWithSuccess) {
    const Window w = MakeWindow(120, 80);
    TestChild child(kLumivor);
    ASSERT_TRUE(child.Start({"-window-id", Hex(w)}, {}, x_.display_name));
    ASSERT_TRUE(WaitForWorld(&child, std::chrono::milliseconds(300))) << child.Err();
    XDestroyWindow(x_.display, w);
    XSync(x_.display, False);
    windows_.clear();
    EXPECT_EQ(child.Wait(std::chrono::seconds(2)), 0) << child.Err();
}

// The window lumivor opened for itself, found by its title.
Window FindOwnWindow(Display* dpy) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        Window found = 0;
        if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n)) {
            for (unsigned i = 0; i < n && !found; ++i) {
                char* name = nullptr;
                if (XFetchName(dpy, children[i], &name) && name) {
                    if (std::strcmp(name, "Lumivor") == 0) found = children[i];
                    XFree(name);
                }
            }
            XFree(children);
        }
        if (found) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

TEST_F(HostTest, OwnWindowClosesOnEscapeQOrDeleteWindow) {
    enum How { kEscape, kQ, kDelete };
    for (const How how : {kEscape, kQ, kDelete}) {
        SCOPED_TRACE(how);
        TestChild child(kLumivor);
        ASSERT_TRUE(child.Start({}, {}, x_.display_name));
        const Window w = FindOwnWindow(x_.display);
        ASSERT_NE(w, 0u) << child.Err();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XEvent event{};
        if (how == kDelete) {
            event.xclient.type = ClientMessage;
            event.xclient.window = w;
            event.xclient.message_type = XInternAtom(x_.display, "WM_PROTOCOLS", False);
            event.xclient.format = 32;
            event.xclient.data.l[0] =
                static_cast<long>(XInternAtom(x_.display, "WM_DELETE_WINDOW", False));
            XSendEvent(x_.display, w, False, NoEventMask, &event);
        } else {
            event.xkey.type = KeyPress;
            event.xkey.window = w;
            event.xkey.root = DefaultRootWindow(x_.display);
            event.xkey.same_screen = True;
            event.xkey.keycode = XKeysymToKeycode(x_.display, how == kEscape ? XK_Escape : XK_q);
            XSendEvent(x_.display, w, True, KeyPressMask, &event);
        }
        XSync(x_.display, False);
        EXPECT_EQ(child.Wait(std::chrono::seconds(3)), 0) << child.Err();
    }
}

TEST_F(HostTest, OwnWindowAcceptsTheStandardHackFlags) {
    const std::string habitat = TempFile("flags.ppm");
    std::string err;
    ASSERT_EQ(RunToEnd({"-window", "-install", "-noinstall", "-visual", "0x21", "-delay", "20000",
                        "-mono", "--no-fps", "-fps"},
                       habitat, {}, &err),
              0);
    Picture saved;
    ASSERT_TRUE(ReadPPM(habitat, &saved));
    EXPECT_EQ(saved.w, kScreenW);  // its own window, as large as the screen allows
    EXPECT_TRUE(HasDrawing(saved));
    EXPECT_NE(err.find("ticks/s"), std::string::npos) << err;
}

TEST_F(HostTest, RejectsUnknownFlagsAndBadValues) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* named;
    };
    const Case cases[] = {
        {{"--frobnicate"}, 2, "--frobnicate"},
        {{"-root", "-x"}, 2, "-x"},
        {{"-window-id", "nothing"}, 2, "-window-id"},
        {{"--preset", "10"}, 2, "--preset"},
        {{"--ticks"}, 2, "--ticks"},
        {{"-window-id", "0x7ffffff0"}, 1, "0x7ffffff0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        TestChild child(kLumivor);
        ASSERT_TRUE(child.Start(c.args, {}, x_.display_name));
        EXPECT_EQ(child.Wait(std::chrono::seconds(10)), c.status);
        const std::string err = child.Err();
        EXPECT_NE(err.find(c.named), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST_F(HostTest, HelpDescribesTheWindowMode) {
    TestChild child(kLumivor);
    ASSERT_TRUE(child.Start({"-root", "--help"}, {}, x_.display_name));
    EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 0);
    const std::string out = child.Out();
    for (const char* flag : {"-window-id", "-root", "-fps", "--ticks", "--habitat", "--seed"})
        EXPECT_NE(out.find(flag), std::string::npos) << flag;
}

// The headless renderer needs no X server.
class RenderTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const std::string& f : files_) unlink(f.c_str());
    }
    std::string TempFile(const std::string& name) {
        files_.push_back(::testing::TempDir() + "lumivor_render_" + std::to_string(getpid()) + "_" +
                         name);
        return files_.back();
    }
    static int Render(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"render"};
        all.insert(all.end(), args.begin(), args.end());
        TestChild child(kLumivor);
        if (!child.Start(all, {}, "")) return -1;
        const int status = child.Wait(std::chrono::seconds(60));
        if (status != 0)
            ADD_FAILURE() << "lumivor render failed (" << status << "): " << child.Err();
        return status;
    }
    std::vector<std::string> files_;
};

TEST_F(RenderTest, PngEqualsTheSavedHabitat) {
    struct Case {
        const char* preset;
        const char* size;
        const char* ticks;
    };
    for (const Case c :
         {Case{"0", "160x120", "40"}, Case{"7", "97x61", "25"}, Case{"3", "300x40", "2"}}) {
        SCOPED_TRACE(std::string(c.preset) + " " + c.size);
        const std::string habitat = TempFile("r.ppm"), png = TempFile("r.png");
        ASSERT_EQ(Render({"--preset", c.preset, "--seed", kSeed, "--size", c.size, "--ticks",
                          c.ticks, "--habitat", habitat, "--png", png}),
                  0);
        Picture saved, written;
        ASSERT_TRUE(ReadPPM(habitat, &saved));
        ASSERT_TRUE(ReadPNG(png, &written));
        EXPECT_TRUE(HasDrawing(saved));
        ExpectSamePicture(written, saved);
    }
}

TEST_F(RenderTest, StartFromShowsTheLoadedPicture) {
    const std::string first = TempFile("a.ppm"), again = TempFile("b.ppm"), png = TempFile("b.png");
    ASSERT_EQ(Render({"--preset", "5", "--seed", kSeed, "--size", "120x90", "--ticks", "30",
                      "--habitat", first}),
              0);
    // One tick: the clearing tick, after which the loaded picture is drawn.
    ASSERT_EQ(Render({"--seed", "1765000001", "--ticks", "1", "--start-from", first, "--habitat",
                      again, "--png", png}),
              0);
    Picture loaded, saved, written;
    ASSERT_TRUE(ReadPPM(first, &loaded));
    ASSERT_TRUE(ReadPPM(again, &saved));
    ASSERT_TRUE(ReadPNG(png, &written));
    ExpectSamePicture(saved, loaded);
    ExpectSamePicture(written, loaded);
}

TEST_F(RenderTest, FailuresAreReportedAndWriteNoPng) {
    const std::string png = TempFile("fail.png");
    const std::string unwritable = TempFile("no_such_dir") + "/x.png";
    struct Case {
        std::string size, path, named;
    };
    // A folder that is not there, and a surface larger than OpenGL can make.
    for (const Case& c : {Case{"40x30", unwritable, unwritable}, Case{"32768x2", png, "32768x2"}}) {
        SCOPED_TRACE(c.size);
        TestChild child(kLumivor);
        ASSERT_TRUE(child.Start(
            {"render", "--seed", kSeed, "--size", c.size, "--ticks", "3", "--png", c.path}, {},
            ""));
        EXPECT_EQ(child.Wait(std::chrono::seconds(30)), 1);
        EXPECT_NE(child.Err().find(c.named), std::string::npos) << child.Err();
        EXPECT_NE(access(c.path.c_str(), F_OK), 0);
    }
}

}  // namespace
