// For the window tests: an X server of their own (Xvfb) with one connection to it,
// and programs run in child processes with their output in temporary files.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

// As Xlib names it; this header leaves Xlib's macros out of the includer.
typedef struct _XDisplay Display;

class TestXServer {
  public:
    std::string display_name;  // ":N" while running
    Display* display = nullptr;

    // Starts Xvfb with one width x height x 24 screen on a display number it picks
    // itself, and connects to it. Returns false with a message on stderr when Xvfb is
    // not on the PATH, does not start, or takes no connection.
    bool Start(int width, int height);
    // Closes the connection and stops the server; nothing when none runs.
    void Stop();
    ~TestXServer() { Stop(); }

    TestXServer() = default;
    TestXServer(const TestXServer&) = delete;
    TestXServer& operator=(const TestXServer&) = delete;

  private:
    pid_t pid_ = -1;
};

// A program in its own process; killed when dropped while it still runs.
class TestChild {
  public:
    static constexpr int kTimedOut = -1000;

    pid_t pid = -1;
    std::string out_path, err_path;  // its standard output and error

    explicit TestChild(std::string program) : program_(std::move(program)) {}

    // Runs the program with `args` and this process's environment less DISPLAY and
    // XSCREENSAVER_WINDOW, plus DISPLAY=`display` unless that is empty, plus
    // `env_extra`. Under AddressSanitizer leak checks are off in the child: Mesa
    // unloads its driver when the program closes its display, and LeakSanitizer then
    // blames what the driver still held on an unknown module no suppression can name.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env_extra,
               const std::string& display);
    // Waits up to `limit`: the exit status, minus the signal number after a death by
    // signal, or kTimedOut. Once it has ended, `pid` is -1.
    int Wait(std::chrono::milliseconds limit);
    bool Running();
    std::string Out() const;
    std::string Err() const;
    ~TestChild();

    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

  private:
    // Collects the exit when it has come; true once the process is gone.
    bool Ended();

    std::string program_;
    int result_ = kTimedOut;
};
