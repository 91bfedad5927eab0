// Programs run by the tests in child processes, the built `lumivor` above all.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/files.h"

// A program in its own process, standard error and output in files; killed if dropped while
// running.
struct TestChild {
    static constexpr int kTimedOut = -1000;
    pid_t pid = -1;          // -1 once it has ended
    int status = kTimedOut;  // exit status, or minus the signal that ended it
    std::string err_path;
    // Runs args[0] with this environment less XSCREENSAVER_WINDOW, DISPLAY=`display` (none
    // if empty) and `env` ("NAME=value").
    bool Start(std::vector<std::string> args, const std::string& display,
               const std::vector<std::string>& env = {});
    int Wait(std::chrono::milliseconds limit);  // `status`, or kTimedOut
    // Sends `sig` while it runs; never to anything else once it has ended.
    bool Signal(int sig) const;
    // True once `text` is on its standard error while it still runs.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit);
    std::string Err() const { return ReadFile(err_path); }
    std::string Out() const { return ReadFile(err_path + ".out"); }
    ~TestChild();
};

// A finished run of the built `lumivor`: its status and what it wrote.
struct LumivorRun {
    int status = TestChild::kTimedOut;
    std::string out, err;
};
// The built `lumivor`.
extern const char kLumivor[];
// `text` as one shell word.
std::string Quoted(const std::string& text);
// Runs `lumivor` with `line` (shell words: its arguments, then any redirections of its streams)
// and `env` ("NAME=value"), without a display, to its end (two minutes at most).
LumivorRun RunLumivor(const std::string& line, const std::vector<std::string>& env = {});

// Runs f() in a child process: 0 when it gave true, 1 when false, minus the signal that
// ended it.
int InChild(const std::function<bool()>& f);
