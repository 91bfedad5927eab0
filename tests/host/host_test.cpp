// The `lumivor` program end to end, as a screen-saver hack under a real X server (Xvfb) and as
// the headless OpenGL renderer: its pictures must equal the habitat file it saves at exit.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
// clang-format on
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/child.h"

namespace {

// Xvfb (width x height x 24, with further command-line options) on a free display and a
// connection to it; null if it fails. It writes its display number once it takes connections
// and ends with its last client.
struct TestXServer {
    std::string display_name;  // ":N"
    Display* display = nullptr;
    std::FILE* server = nullptr;  // Xvfb's standard output
    TestXServer(int width, int height, const std::string& options = "") {
        const std::string command = "exec Xvfb -displayfd 1 -screen 0 " + std::to_string(width) +
                                    "x" + std::to_string(height) + "x24 -nolisten tcp -terminate " +
                                    options + " 2>/dev/null";
        server = popen(command.c_str(), "r");
        char number[16] = "";
        if (server != nullptr && std::fgets(number, sizeof number, server) != nullptr)
            display_name = ":" + std::to_string(std::atoi(number));
        if (!display_name.empty()) display = XOpenDisplay(display_name.c_str());
    }
    ~TestXServer() {
        if (display != nullptr) XCloseDisplay(display);
        // Without a connection, only a server that has already gone can be waited for.
        if (server != nullptr && (display != nullptr || display_name.empty())) pclose(server);
    }
};

using std::chrono::seconds;
const std::string kHabitat = ::testing::TempDir() + "lumivor_host_" + std::to_string(getpid());

// The text of a habitat file of w x h pixels, `rgb` top row first.
std::string Habitat(long w, long h, const std::string& rgb) {
    return "P6\n#quib habitat\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + rgb;
}

// The window as a habitat file would hold it (Xvfb's 24-bit TrueColor: 0xRRGGBB pixels).
std::string Screenshot(Display* dpy, Window w) {
    XWindowAttributes a{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(dpy, w, &a))
        image = XGetImage(dpy, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    std::string rgb;
    for (int y = 0; image != nullptr && y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (const int shift : {16, 8, 0})
                rgb += static_cast<char>(XGetPixel(image, x, y) >> shift & 0xff);
    if (image != nullptr) XDestroyImage(image);
    return Habitat(a.width, a.height, rgb);
}

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* ci = std::getenv("CI");
        if (!x.display && ci && std::string(ci) == "true") FAIL() << "Xvfb missing or failed";
        if (!x.display) GTEST_SKIP() << "Xvfb is not installed or did not start";
    }
    void TearDown() override { std::remove(kHabitat.c_str()); }
    static Window MakeWindow(int w, int h) {
        const Window win =
            XCreateSimpleWindow(x.display, DefaultRootWindow(x.display), 5, 5, w, h, 0, 0, 0);
        XMapWindow(x.display, win);
        XSync(x.display, False);
        return win;
    }
    // Runs lumivor on `server` with `args` (after its name, seed and habitat) and `env` to its
    // end with status 0, calling `during` once it has started, if given; it must say it draws
    // `way`.
    static void Run(const TestXServer& server, std::vector<std::string> args,
                    const std::vector<std::string>& env, const char* way,
                    const std::function<void(TestChild&)>& during = nullptr) {
        args.insert(args.begin(),
                    {kLumivor, "--seed", "1765000000", "--habitat", kHabitat, "-fps"});
        TestChild child;
        ASSERT_TRUE(child.Start(args, server.display_name, env));
        if (during) {
            ASSERT_TRUE(child.WaitForErr("community '", seconds(20))) << child.Err();
            during(child);
        }
        ASSERT_EQ(child.Wait(seconds(30)), 0) << child.Err();
        EXPECT_NE(child.Err().find(way), std::string::npos) << child.Err();
    }
    static inline TestXServer x{240, 160};  // for every test of the process
};

// Each way to name the window (a window id wins over a later -root), tiny windows too; the root
// window on a server without shared memory, where the picture goes through the connection. The
// wallpaper draws on the root window too, holds its picture after --ticks, outlives a key typed
// meanwhile (xdotool) and ends on SIGTERM.
TEST_F(HostTest, HackWindowShowsTheSavedHabitat) {
    TestXServer plain(160, 120, "-extension MIT-SHM");
    ASSERT_NE(plain.display, nullptr);
    const std::tuple<std::string, int, int, const char*> cases[] = {
        {"-root", 160, 120, ""},       {"--root", 150, 100, "0x%lx"},
        {"-window-id", 97, 61, "%lu"}, {"--window-id", 97, 61, "0x%lx"},
        {"-window-id", 1, 1, "0x%lx"}, {"--window-id", 40, 1, "%lu"},
        {"--wallpaper", 160, 120, ""}};
    for (const auto& [flag, w, h, id_format] : cases) {
        SCOPED_TRACE(flag + " " + std::to_string(w) + "x" + std::to_string(h));
        const bool wallpaper = flag == "--wallpaper";
        const bool real_root = flag == "-root" || wallpaper, env = flag == "--root";
        const TestXServer& server = real_root ? plain : x;
        const Window win = real_root ? DefaultRootWindow(plain.display) : MakeWindow(w, h);
        char id[32];
        std::snprintf(id, sizeof id, id_format, win);
        std::vector<std::string> args = {flag, "--ticks", "25"}, environment;
        if (!real_root && !env) args.insert(args.begin() + 1, {id, "-root"});
        if (env) environment = {"XSCREENSAVER_WINDOW=" + std::string(id)};
        const auto key_then_stop = [&server](TestChild& child) {
            const std::string key = "DISPLAY=" + server.display_name + " xdotool key x";
            ASSERT_EQ(std::system(key.c_str()), 0) << key;
            // Still running half a second later (a run that ended has no process to stop).
            EXPECT_EQ(child.Wait(std::chrono::milliseconds(500)), TestChild::kTimedOut)
                << "the wallpaper ended without a stop signal";
            child.Signal(SIGTERM);
        };
        if (wallpaper) args.insert(args.end(), {"--ticks-per-second", "75"});
        Run(server, args, environment, "painted by the program",
            wallpaper ? std::function<void(TestChild&)>(key_then_stop) : nullptr);
        const std::string saved = ReadFile(kHabitat);
        EXPECT_TRUE(saved == Screenshot(server.display, win)) << "the window differs";
        // Community 0 (the seed's) clears to (201, 202, 196); a world of 1200 cells draws on it.
        EXPECT_TRUE(w * h < 1200 ||
                    saved.find_first_not_of("\xc9\xca\xc4", saved.size() - 3 * w * h) !=
                        std::string::npos);
        if (!real_root) XDestroyWindow(x.display, win);
    }
}

// `lumivor idle`: after a second without input the saver covers the screen and holds its
// picture after --ticks (the screen equals the habitat it saves); a key ends that run, the next
// idle second starts another, SIGTERM ends the watcher with status 0.
TEST_F(HostTest, IdleWatcherRunsTheSaverWhileIdle) {
    TestXServer server(200, 120);
    ASSERT_NE(server.display, nullptr);
    const Window root = DefaultRootWindow(server.display);
    TestChild child;
    ASSERT_TRUE(child.Start({kLumivor, "idle", "--after", "1", "--seed", "1765000000", "--ticks",
                             "25", "--habitat", kHabitat, "--fps"},
                            server.display_name));
    // Held, not ended: a second without ticks (the -fps lines) after seconds with them.
    const std::regex held(R"(lumivor: [1-9][0-9.]* ticks/s.*\n(.*\n)*lumivor: 0\.0 ticks/s)");
    for (int wait = 0; wait < 200 && !std::regex_search(child.Err(), held); ++wait)
        ASSERT_EQ(child.Wait(std::chrono::milliseconds(100)), TestChild::kTimedOut) << child.Err();
    ASSERT_TRUE(std::regex_search(child.Err(), held)) << child.Err();
    const std::string screen = Screenshot(server.display, root);
    const std::string key = "DISPLAY=" + server.display_name + " xdotool key x";
    ASSERT_EQ(std::system(key.c_str()), 0) << key;
    const auto runs = [&child] {
        const std::string err = child.Err();
        const std::regex start("community '");
        return std::distance(std::sregex_iterator(err.begin(), err.end(), start), {});
    };
    for (int wait = 0; wait < 100 && runs() < 2; ++wait)
        if (child.Wait(std::chrono::milliseconds(100)) != TestChild::kTimedOut) break;
    EXPECT_EQ(runs(), 2) << child.Err();
    // The first run saved its habitat before the second began.
    EXPECT_TRUE(ReadFile(kHabitat) == screen) << "the screen differs from the saved habitat";
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(seconds(10)), 0) << child.Err();
}

// A window that is not there or cannot be drawn in, no display, a way of drawing that does not
// exist, or `lumivor idle` beside a running XScreenSaver daemon (its version on the root
// window): refused at once (status 1) with one line naming it. (Usage errors are the command
// line's, tested with it.)
TEST_F(HostTest, ImpossibleRunsAreRefusedInOneLine) {
    const Window input_only = XCreateWindow(x.display, DefaultRootWindow(x.display), 0, 0, 50, 40,
                                            0, 0, InputOnly, CopyFromParent, 0, nullptr);
    XMapWindow(x.display, input_only);
    const unsigned char version[] = "6.06";
    XChangeProperty(x.display, DefaultRootWindow(x.display),
                    XInternAtom(x.display, "_SCREENSAVER_VERSION", False), XA_STRING, 8,
                    PropModeReplace, version, 4);
    XSync(x.display, False);
    const struct {
        std::vector<std::string> args, env;
        std::string display, named;
    } cases[] = {
        {{kLumivor, "-window-id", "0x7ffffff0"}, {}, x.display_name, "0x7ffffff0"},
        {{kLumivor, "-window-id", std::to_string(input_only)}, {}, x.display_name, "InputOnly"},
        {{kLumivor, "idle"}, {}, x.display_name, "XScreenSaver daemon"},
        {{kLumivor}, {}, "", "'lumivor render'"},
        {{kLumivor}, {"LUMIVOR_PRESENT=sometimes"}, ":0", "'sometimes'"},
    };
    for (const auto& c : cases) {
        TestChild child;
        ASSERT_TRUE(child.Start(c.args, c.display, c.env));
        EXPECT_EQ(child.Wait(seconds(10)), 1);
        const std::string err = child.Err();
        EXPECT_NE(err.find(c.named), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
    XDestroyWindow(x.display, input_only);
}

// Every end of a run in the program's own window saves the habitat it shows or says why not,
// from its first instruction on. Stop signals (a second one soon after, often mid-save) end
// it with status 0: before a world was built the file stays as it was and a line says so, or
// the signal came before the program ran at all. The X server dropping the connection (here:
// the client killed) ends it with status 1 and a message. (How the run loop ends and saves
// is its own test's; this is the host's part.)
TEST_F(HostTest, EveryEndSavesTheHabitatOrSaysWhyNot) {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    const std::string header = "P6\n#quib habitat\n240 160\n255\n";
    for (int run = 0; run < 12; ++run) {
        SCOPED_TRACE(run);
        WriteFile(kHabitat, "old");
        TestChild child;
        ASSERT_TRUE(
            child.Start({kLumivor, "--seed", "1765000000", "--habitat", kHabitat}, x.display_name));
        if (run % 2 == 0)  // stopped while it starts
            std::this_thread::sleep_for(std::chrono::milliseconds(run * 3 / 2));
        else
            ASSERT_TRUE(child.WaitForErr("community '", seconds(20))) << child.Err();
        const std::string kill =  // the client of the window named Lumivor (XKillClient)
            "DISPLAY=" + x.display_name + " xdotool search --name '^Lumivor$' windowkill";
        if (run == 11) {
            ASSERT_EQ(std::system(kill.c_str()), 0) << "no window named Lumivor";
        } else {
            child.Signal(signals[run % 3]);
            std::this_thread::sleep_for(std::chrono::milliseconds(run * 3));
            child.Signal(signals[(run + 1) % 3]);
        }
        const int status = child.Wait(seconds(10));
        const std::string saved = ReadFile(kHabitat), err = child.Err();
        if (saved == "old") {
            EXPECT_TRUE((status == 0 && err.find("nothing was saved") != std::string::npos) ||
                        (status == -signals[run % 3] && err.empty()))
                << status << ": " << err;
        } else {
            EXPECT_EQ(status, run == 11 ? 1 : 0) << err;
            EXPECT_TRUE(saved.size() == header.size() + 240 * 160 * 3 &&
                        saved.rfind(header, 0) == 0)
                << saved.size() << " bytes";
        }
        EXPECT_EQ(err.find("lost the connection to the X server") != std::string::npos, run == 11)
            << err;
    }
}

// A window destroyed at any moment, even while the program is still opening
// it, ends the run with success; only a window gone before the program first
// looked is "no window".
TEST_F(HostTest, WindowDestroyedEarlyEndsWithSuccess) {
    for (const int delay_ms : {0, 40, 55, 65, 75, 85, 95, 110, 130, 160, 200, 300}) {
        SCOPED_TRACE(delay_ms);
        const Window w = MakeWindow(64, 48);
        TestChild child;
        ASSERT_TRUE(child.Start({kLumivor, "-window-id", std::to_string(w)}, x.display_name));
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        XDestroyWindow(x.display, w);
        XSync(x.display, False);
        const int status = child.Wait(seconds(10));
        const std::string err = child.Err();
        EXPECT_TRUE(status == 0 || (status == 1 && err.find("there is no window") != err.npos))
            << status << ": " << err;
        EXPECT_EQ(err.find("X error"), std::string::npos) << err;
    }
}

// Both ways of drawing redraw what a window server loses. A window mapped over the saver's and
// taken away leaves the server's background behind (Xvfb keeps no covered pixels); the saver
// shows its whole picture again. The run ends a few ticks later, before its trails could have
// repainted much. After a resize the surface is cleared and the world, at its old size, goes on
// drawing from the bottom-left corner: every pixel of the window is the clear colour or, where a
// trail passed since, the habitat's colour of that cell.
TEST_F(HostTest, BothWaysRedrawAfterAnExposeAndAResize) {
    const std::string clear = "\xc9\xca\xc4";  // community 0's clear colour
    // The program's own picture (what a software renderer such as Xvfb's gets by default) and
    // OpenGL with whole presents (forced).
    const std::pair<std::vector<std::string>, const char*> ways[] = {
        {{}, "painted by the program"}, {{"LUMIVOR_PRESENT=full"}, "OpenGL"}};
    for (const auto& [env, way] : ways) {
        SCOPED_TRACE(way);
        const Window win = MakeWindow(200, 150);
        Run(x, {"-window-id", std::to_string(win)}, env, way, [](TestChild& child) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const Window cover = XCreateSimpleWindow(x.display, DefaultRootWindow(x.display), 0, 0,
                                                     240, 160, 0, 0, 0x123456);
            XMapRaised(x.display, cover);
            XSync(x.display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            XDestroyWindow(x.display, cover);
            XSync(x.display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            child.Signal(SIGTERM);
        });
        EXPECT_TRUE(ReadFile(kHabitat) == Screenshot(x.display, win)) << "the window differs";
        XDestroyWindow(x.display, win);

        for (const auto& [new_w, new_h] : {std::pair{200, 140}, std::pair{90, 50}}) {
            SCOPED_TRACE("resized to " + std::to_string(new_w));
            const Window w = MakeWindow(120, 80);
            const auto resize = [&, width = new_w, height = new_h](TestChild&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                XResizeWindow(x.display, w, width, height);
                XSync(x.display, False);
            };
            Run(x, {"-window-id", std::to_string(w), "--ticks", "150"}, env, way, resize);
            const std::string saved = ReadFile(kHabitat), shown = Screenshot(x.display, w);
            const size_t saved_rgb = saved.size() - 120 * 80 * 3;
            const size_t shown_rgb = shown.size() - static_cast<size_t>(new_w) * new_h * 3;
            ASSERT_EQ(shown.rfind(Habitat(new_w, new_h, ""), 0), 0u);
            int redrawn = 0, wrong = 0;
            for (int y = 0; y < new_h; ++y)
                for (int px = 0; px < new_w; ++px) {
                    const std::string pixel = shown.substr(shown_rgb + (y * new_w + px) * 3, 3);
                    const int cell_y = new_h - 1 - y;  // the world's row 0 is the bottom row
                    std::string cell = clear;
                    if (px < 120 && cell_y < 80)
                        cell = saved.substr(saved_rgb + ((79 - cell_y) * 120 + px) * 3, 3);
                    if (pixel == cell && cell != clear) ++redrawn;
                    if (pixel != cell && pixel != clear) ++wrong;
                }
            EXPECT_EQ(wrong, 0);
            EXPECT_GT(redrawn, 50) << "no trails drawn after the resize";
            XDestroyWindow(x.display, w);
        }
    }
}

}  // namespace
