#include "tests/support/x_server.h"

// GoogleTest before Xlib: Xlib defines macros (None, Bool) that clash with its names.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::string FindXvfb() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

bool TestXServer::Start(int width, int height) {
    Stop();
    const std::string xvfb = FindXvfb();
    if (xvfb.empty()) {
        std::fprintf(stderr, "TestXServer: no Xvfb on the PATH\n");
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("TestXServer: pipe");
        return false;
    }
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
              "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number it chose once it accepts connections.
    std::string number;
    if (pid_ > 0) {
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
        display_name = ":" + number;
        display = XOpenDisplay(display_name.c_str());
    }
    if (display == nullptr) {
        std::fprintf(stderr, "TestXServer: %s did not start or took no connection\n", xvfb.c_str());
        Stop();
        return false;
    }
    return true;
}

void TestXServer::Stop() {
    if (display != nullptr) XCloseDisplay(display);
    display = nullptr;
    display_name.clear();
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

bool TestChild::Start(const std::vector<std::string>& args,
                      const std::vector<std::string>& env_extra, const std::string& display) {
    static int serial = 0;
    const std::string base = ::testing::TempDir() + "lumivor_child_" + std::to_string(getpid()) +
                             "_" + std::to_string(serial++);
    out_path = base + ".out";
    err_path = base + ".err";
    std::vector<std::string> env;
    std::string asan_options = "ASAN_OPTIONS=";
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        if (var.rfind("ASAN_OPTIONS=", 0) == 0)
            asan_options = var + ":";
        else if (var.rfind("DISPLAY=", 0) != 0 && var.rfind("XSCREENSAVER_WINDOW=", 0) != 0)
            env.push_back(var);
    }
    if (kSanitized)
        env.push_back(asan_options + "detect_leaks=0");
    else if (asan_options != "ASAN_OPTIONS=")
        env.push_back(asan_options.substr(0, asan_options.size() - 1));
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    env.insert(env.end(), env_extra.begin(), env_extra.end());
    std::vector<std::string> argv_s = {program_};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    result_ = kTimedOut;
    pid = fork();
    if (pid == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid > 0;
}

bool TestChild::Ended() {
    if (pid <= 0) return true;
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0) return false;
    if (r == pid) result_ = WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
    pid = -1;  // reaped, or not ours to wait for: no pid to signal any more
    return true;
}

int TestChild::Wait(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!Ended()) {
        if (Clock::now() >= end) return kTimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return result_;
}

bool TestChild::Running() {
    return !Ended();
}

std::string TestChild::Out() const {
    return ReadText(out_path);
}

std::string TestChild::Err() const {
    return ReadText(err_path);
}

TestChild::~TestChild() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    unlink(out_path.c_str());
    unlink(err_path.c_str());
}
