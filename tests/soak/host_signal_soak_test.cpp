// The window host under a real X server (Xvfb, started here), stopped by
// SIGTERM, SIGINT or SIGHUP at random moments of its run: it must exit with
// status 0 and leave a complete habitat file every time, also when a second
// signal arrives while it saves.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/x_server.h"

namespace {

using std::chrono::milliseconds;

const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";

unsigned long Scaled(unsigned long n) {
    const char* text = std::getenv("LUMIVOR_SOAK_SCALE");
    const double s = text != nullptr && std::atof(text) > 0 ? std::atof(text) : 1.0;
    const double v = static_cast<double>(n) * s;
    return v < 1 ? 1 : static_cast<unsigned long>(v);
}

// True when `path` is a complete habitat file of w x h cells; `drawn` tells
// whether its cells hold more than one colour.
bool CompleteHabitat(const std::string& path, int w, int h, bool* drawn) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream text;
    text << f.rdbuf();
    const std::string s = text.str();
    const std::string header =
        "P6\n#quib habitat\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    if (s.size() != header.size() + static_cast<size_t>(w) * h * 3 ||
        s.compare(0, header.size(), header) != 0)
        return false;
    *drawn = false;
    for (size_t i = header.size() + 3; i < s.size() && !*drawn; ++i)
        *drawn = s[i] != s[header.size() + (i - header.size()) % 3];
    return true;
}

class HostSignalSoak : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { x_.Start(1280, 1024); }
    static void TearDownTestSuite() { x_.Stop(); }

    void SetUp() override {
        if (x_.display == nullptr) {
            const char* ci = std::getenv("CI");
            if (ci != nullptr && std::string(ci) == "true")
                FAIL() << "no X server: Xvfb is missing or did not start";
            GTEST_SKIP() << "Xvfb is not installed or did not start";
        }
        base_ = ::testing::TempDir() + "lumivor_signal_soak_" + std::to_string(getpid());
    }

    void TearDown() override {
        unlink((base_ + ".ppm").c_str());
        if (x_.display != nullptr) XSync(x_.display, False);
    }

    Window MakeWindow(int w, int h) {
        const Window win =
            XCreateSimpleWindow(x_.display, DefaultRootWindow(x_.display), 0, 0,
                                static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0, 0);
        XMapWindow(x_.display, win);
        XSync(x_.display, False);
        return win;
    }

    void DestroyWindow(Window w) {
        XDestroyWindow(x_.display, w);
        XSync(x_.display, False);
    }

    // Starts lumivor on a new w x h window that saves its habitat at exit.
    bool StartOnWindow(TestChild* child, Window win, int seed) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", win);
        unlink((base_ + ".ppm").c_str());
        return child->Start({"-window-id", id, "--seed", std::to_string(1765000000 + seed),
                             "--habitat", base_ + ".ppm"},
                            {}, x_.display_name);
    }

    static TestXServer x_;
    std::string base_;
};

TestXServer HostSignalSoak::x_;

TEST_F(HostSignalSoak, StopSignalAtRandomMomentsExitsZeroWithACompleteHabitat) {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    const unsigned long runs = Scaled(12);
    std::mt19937 rng(1206);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    unsigned long with_drawing = 0;
    for (unsigned long r = 0; r < runs; ++r) {
        const int sig = signals[r % 3];
        const int w = pick(200, 1000), h = pick(150, 800);
        SCOPED_TRACE(std::string(strsignal(sig)) + " on " + std::to_string(w) + "x" +
                     std::to_string(h) + ", run " + std::to_string(r));
        const Window win = MakeWindow(w, h);
        TestChild child(kLumivor);
        ASSERT_TRUE(StartOnWindow(&child, win, pick(0, 9)));
        std::this_thread::sleep_for(milliseconds(pick(500, 1500)));
        kill(child.pid, sig);
        EXPECT_EQ(child.Wait(milliseconds(10000)), 0) << child.Err();
        bool drawn = false;
        EXPECT_TRUE(CompleteHabitat(base_ + ".ppm", w, h, &drawn));
        with_drawing += drawn;
        DestroyWindow(win);
        if (HasFailure()) break;
    }
    // Most runs were stopped while the bots were drawing, not before.
    EXPECT_GT(with_drawing, runs / 2);
    std::printf("soak: %lu runs stopped by signals, %lu after drawing began\n", runs, with_drawing);
}

TEST_F(HostSignalSoak, SecondSignalWhileSavingStillExitsZeroWithACompleteHabitat) {
    const unsigned long runs = Scaled(4);
    for (unsigned long r = 0; r < runs; ++r) {
        SCOPED_TRACE("run " + std::to_string(r));
        const int w = 1280, h = 1000;
        const Window win = MakeWindow(w, h);
        TestChild child(kLumivor);
        ASSERT_TRUE(StartOnWindow(&child, win, static_cast<int>(r)));
        std::this_thread::sleep_for(milliseconds(900));
        kill(child.pid, SIGTERM);
        // A 3.8 MB habitat takes a few milliseconds to write.
        std::this_thread::sleep_for(milliseconds(static_cast<long>(r) * 3));
        kill(child.pid, r % 2 == 0 ? SIGINT : SIGHUP);
        kill(child.pid, SIGTERM);
        EXPECT_EQ(child.Wait(milliseconds(10000)), 0) << child.Err();
        bool drawn = false;
        EXPECT_TRUE(CompleteHabitat(base_ + ".ppm", w, h, &drawn));
        DestroyWindow(win);
        if (HasFailure()) break;
    }
}

}  // namespace
