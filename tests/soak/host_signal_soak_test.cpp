// The window host under a real X server (Xvfb, started here), stopped by
// SIGTERM, SIGINT or SIGHUP at random moments of its run: it must exit with
// status 0 and leave a complete habitat file every time, also when a second
// signal arrives while it saves.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";

unsigned long Scaled(unsigned long n) {
    const char* text = std::getenv("LUMIVOR_SOAK_SCALE");
    const double s = text != nullptr && std::atof(text) > 0 ? std::atof(text) : 1.0;
    const double v = static_cast<double>(n) * s;
    return v < 1 ? 1 : static_cast<unsigned long>(v);
}

std::string FindXvfb() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// lumivor in its own process, output to files beside the habitat.
struct Child {
    pid_t pid = -1;
    std::string err_path;

    bool Start(const std::vector<std::string>& args, const std::string& display,
               const std::string& base) {
        err_path = base + ".err";
        std::vector<std::string> argv_s = {kLumivor};
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argv_s) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            setenv("DISPLAY", display.c_str(), 1);
            unsetenv("XSCREENSAVER_WINDOW");
#if defined(__SANITIZE_ADDRESS__)
            // Mesa unloads its driver when the program closes its display, and
            // LeakSanitizer then blames what the driver still held on an unknown
            // module that no suppression can name. Memory errors are still caught.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options =
                std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
            setenv("ASAN_OPTIONS", options.c_str(), 1);
#endif
            const int null_fd = open("/dev/null", O_WRONLY);
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(null_fd, 1);
            dup2(err, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid > 0;
    }

    // The exit status, or -1 after a death by signal or a timeout.
    int Wait(milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (pid > 0) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                if (WIFSIGNALED(status)) return -WTERMSIG(status);
                return WEXITSTATUS(status);
            }
            if (Clock::now() >= end) return -1000;
            std::this_thread::sleep_for(milliseconds(2));
        }
        return -1000;
    }

    std::string Err() const {
        std::ifstream f(err_path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unlink(err_path.c_str());
    }
};

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
    static void SetUpTestSuite() {
        const std::string xvfb = FindXvfb();
        int fds[2];
        if (xvfb.empty() || pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        xvfb_pid_ = fork();
        if (xvfb_pid_ == 0) {
            close(fds[0]);
            const int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) {
            display_ = ":" + number;
            dpy_ = XOpenDisplay(display_.c_str());
        }
    }

    static void TearDownTestSuite() {
        if (dpy_ != nullptr) XCloseDisplay(dpy_);
        dpy_ = nullptr;
        if (xvfb_pid_ > 0) {
            kill(xvfb_pid_, SIGTERM);
            waitpid(xvfb_pid_, nullptr, 0);
        }
        xvfb_pid_ = -1;
    }

    void SetUp() override {
        if (dpy_ == nullptr) {
            const char* ci = std::getenv("CI");
            if (ci != nullptr && std::string(ci) == "true")
                FAIL() << "no X server: Xvfb is missing or did not start";
            GTEST_SKIP() << "Xvfb is not installed or did not start";
        }
        base_ = ::testing::TempDir() + "lumivor_signal_soak_" + std::to_string(getpid());
    }

    void TearDown() override {
        unlink((base_ + ".ppm").c_str());
        if (dpy_ != nullptr) XSync(dpy_, False);
    }

    Window MakeWindow(int w, int h) {
        const Window win =
            XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, static_cast<unsigned>(w),
                                static_cast<unsigned>(h), 0, 0, 0);
        XMapWindow(dpy_, win);
        XSync(dpy_, False);
        return win;
    }

    void DestroyWindow(Window w) {
        XDestroyWindow(dpy_, w);
        XSync(dpy_, False);
    }

    // Starts lumivor on a new w x h window that saves its habitat at exit.
    bool StartOnWindow(Child* child, Window win, int seed) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", win);
        unlink((base_ + ".ppm").c_str());
        return child->Start({"-window-id", id, "--seed", std::to_string(1765000000 + seed),
                             "--habitat", base_ + ".ppm"},
                            display_, base_);
    }

    static pid_t xvfb_pid_;
    static std::string display_;
    static Display* dpy_;
    std::string base_;
};

pid_t HostSignalSoak::xvfb_pid_ = -1;
std::string HostSignalSoak::display_;
Display* HostSignalSoak::dpy_ = nullptr;

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
        Child child;
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
        Child child;
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
