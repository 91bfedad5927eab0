// For the window tests: an X server of their own (Xvfb), and programs in child processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

typedef struct _XDisplay Display;  // as Xlib names it, without Xlib's macros

std::string ReadFile(const std::string& path);

// Xvfb (width x height x 24, with further command-line options) on a free display and a
// connection to it; null if it fails.
struct TestXServer {
    std::string display_name;  // ":N"
    Display* display = nullptr;
    std::FILE* server = nullptr;  // Xvfb's standard output
    TestXServer(int width, int height, const std::string& options = "");
    ~TestXServer();
};

// A program in its own process, standard error in a file; killed if dropped while running.
struct TestChild {
    static constexpr int kTimedOut = -1000;
    pid_t pid = -1;          // -1 once it has ended
    int status = kTimedOut;  // exit status, or minus the signal that ended it
    std::string err_path;
    // Runs args[0] with this environment less XSCREENSAVER_WINDOW, DISPLAY=`display` (none
    // if empty) and `env` ("NAME=value"); standard output is dropped.
    bool Start(std::vector<std::string> args, const std::string& display,
               const std::vector<std::string>& env = {});
    int Wait(std::chrono::milliseconds limit);  // `status`, or kTimedOut
    // True once `text` is on its standard error while it still runs.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit);
    std::string Err() const { return ReadFile(err_path); }
    ~TestChild();
};
