#include "tests/support/x_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
}

TestXServer::TestXServer(int width, int height, const std::string& options) {
    // It writes its display number once it takes connections and ends with its last client.
    const std::string command = "exec Xvfb -displayfd 1 -screen 0 " + std::to_string(width) + "x" +
                                std::to_string(height) + "x24 -nolisten tcp -terminate " + options +
                                " 2>/dev/null";
    server = popen(command.c_str(), "r");
    char number[16] = "";
    if (server != nullptr && std::fgets(number, sizeof number, server) != nullptr)
        display_name = std::string(":").append(std::to_string(std::atoi(number)));
    if (!display_name.empty()) display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) std::fprintf(stderr, "TestXServer: Xvfb is missing or failed\n");
}

TestXServer::~TestXServer() {
    if (display != nullptr) XCloseDisplay(display);
    // Without a connection, only a server that has already gone can be waited for.
    if (server != nullptr && (display != nullptr || display_name.empty())) pclose(server);
}

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
        dup2(open("/dev/null", O_WRONLY), 1);
        dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid > 0;
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
    if (!err_path.empty()) unlink(err_path.c_str());
}
