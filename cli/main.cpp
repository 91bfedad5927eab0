// lumivor: the screen saver in a window or as an XScreenSaver hack, and
// `lumivor render` to run it headless into files.

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/render_command.h"
#ifdef LUMIVOR_HAVE_HOST
#include "host/host.h"
#endif

#ifndef LUMIVOR_VERSION
#define LUMIVOR_VERSION "unknown"
#endif

namespace {

const char kUsage[] =
    "usage: lumivor [window options]      run the saver in a window or as a screen-saver hack\n"
    "       lumivor render [options]      run it headless and write the picture to files\n"
    "       lumivor --help | --version\n"
    "\n"
    "Eight bots walk a wrapping raster and repaint the cells they cross; their trails\n"
    "build a picture over minutes. One of ten communities is chosen from the clock.\n"
    "\n"
    "Window options: see 'lumivor --help-window'. Render options: see 'lumivor render --help'.\n";

bool IsQuiet(const char* arg) {
    return std::strcmp(arg, "--quiet") == 0 || std::strcmp(arg, "-quiet") == 0;
}

// Sends the system's own messages (standard output and error) to /dev/null and
// returns a stream on the original standard error for the tool's own errors.
std::FILE* Silence() {
    std::fflush(stdout);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
#ifdef _WIN32
    const int null_fd = open("NUL", O_WRONLY);
#else
    const int null_fd = open("/dev/null", O_WRONLY);
#endif
    if (saved < 0 || null_fd < 0) {
        if (saved >= 0) close(saved);
        if (null_fd >= 0) close(null_fd);
        return stderr;
    }
    std::FILE* diag = fdopen(saved, "w");
    if (diag == nullptr) {
        close(saved);
        close(null_fd);
        return stderr;
    }
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
    close(null_fd);
    return diag;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Files and the standard streams carry bytes as written, without CR before LF,
    // so that outputs are the same on every system.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    std::vector<char*> args(argv, argv + argc);
    bool quiet = false;
    for (size_t i = 1; i < args.size();) {
        if (IsQuiet(args[i])) {
            quiet = true;
            args.erase(args.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    args.push_back(nullptr);
    const int n = static_cast<int>(args.size()) - 1;

    if (n >= 2) {
        const std::string first = args[1];
        if (first == "--help" || first == "-help" || first == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
#ifndef LUMIVOR_HAVE_HOST
        if (first == "--help-window" || first == "-help-window") {
            std::puts("This build has no window host.");
            return 0;
        }
#endif
        if (first == "--version" || first == "-version") {
            std::printf("lumivor %s\n", LUMIVOR_VERSION);
            return 0;
        }
    }
    std::FILE* diag = quiet ? Silence() : stderr;
    if (n >= 2 && std::strcmp(args[1], "render") == 0) {
        return RenderCommand(n - 1, args.data() + 1, diag);
    }
#ifdef LUMIVOR_HAVE_HOST
    return RunWindowHost(n, args.data(), diag);
#else
    std::fprintf(diag, "lumivor: this build has no window host; use 'lumivor render --no-gl'\n");
    return 1;
#endif
}
