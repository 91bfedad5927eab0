#include "tests/support/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

using Clock = std::chrono::steady_clock;

bool TestChild::Start(std::vector<std::string> args, const std::string& display,
                      const std::vector<std::string>& env) {
    static int serial = 0;
    err_path = std::filesystem::temp_directory_path() /
               ("lumivor_child_" + std::to_string(getpid()) + "_" + std::to_string(serial++));
    std::vector<char*> argv(args.size() + 1, nullptr);
    for (size_t i = 0; i < args.size(); ++i) argv[i] = args[i].data();
    pid = fork();
    if (pid == 0) {
        // No leak checks in a sanitized child: Mesa's driver, unloaded at exit, leaves leaks
        // in a module no suppression can name.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS",
               (asan ? asan + std::string(":") : "").append("detect_leaks=0").c_str(), 1);
        unsetenv("XSCREENSAVER_WINDOW");
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        for (const std::string& e : env)
            setenv(e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1).c_str(), 1);
        dup2(open((err_path + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid > 0;
}

bool TestChild::Signal(int sig) const {
    return pid > 0 && kill(pid, sig) == 0;
}

int TestChild::Wait(std::chrono::milliseconds limit) {
    int s = 0;
    pid_t r = 0;
    for (const auto end = Clock::now() + limit; pid > 0 && (r = waitpid(pid, &s, WNOHANG)) == 0;) {
        if (Clock::now() >= end) return kTimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (pid > 0) status = r != pid ? kTimedOut : WIFSIGNALED(s) ? -WTERMSIG(s) : WEXITSTATUS(s);
    pid = -1;
    return status;
}

bool TestChild::WaitForErr(const std::string& text, std::chrono::milliseconds limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end;) {
        if (Wait(std::chrono::milliseconds(10)) != TestChild::kTimedOut) return false;
        if (Err().find(text) != std::string::npos) return true;
    }
    return false;
}

TestChild::~TestChild() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    if (!err_path.empty()) unlink(err_path.c_str()), unlink((err_path + ".out").c_str());
}

const char kLumivor[] = LUMIVOR_BINARY_DIR "/cli/lumivor";

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

LumivorRun RunLumivor(const std::string& line, const std::vector<std::string>& env) {
    TestChild child;
    const bool started =
        child.Start({"/bin/sh", "-c", "exec " + Quoted(kLumivor) + " " + line}, "", env);
    // Its status first: the streams are complete once it has ended.
    return {started ? child.Wait(std::chrono::minutes(2)) : TestChild::kTimedOut, child.Out(),
            child.Err()};
}

int InChild(const std::function<bool()>& f) {
    const pid_t pid = fork();
    if (pid == 0) _exit(f() ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}
