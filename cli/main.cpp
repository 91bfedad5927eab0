// lumivor: the screen saver in a window or as an XScreenSaver hack, and
// `lumivor render` to run it headless into files.

#include <cerrno>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#endif
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "host/shared/outputs.h"
#include "host/shared/run_loop.h"
#ifdef _WIN32
#include "host/windows/command_line.h"
#endif

#ifndef LUMIVOR_VERSION
#define LUMIVOR_VERSION "unknown"
#endif

namespace {

#ifdef LUMIVOR_HAVE_WINDOW_HOST
const char kUsage[] =
    "usage: lumivor [window options]      run the saver in a window or as a screen-saver hack\n"
    "       lumivor render [options]      run it headless and write the picture to files\n"
    "       lumivor idle [options]        run the saver whenever the session is idle\n"
    "       lumivor --help | --version\n"
    "\n"
    "Eight bots walk a wrapping raster and repaint the cells they cross; their trails\n"
    "build a picture over minutes. One of ten communities is chosen from the clock.\n"
    "\n"
    "Window options: see 'lumivor --help-window'. Render options: see 'lumivor render --help'.\n"
    "Idle options: see 'lumivor idle --help'.\n";
#else
const char kUsage[] =
    "usage: lumivor render [options]      run the saver headless and write the picture to files\n"
    "       lumivor --help | --version\n"
    "\n"
    "Eight bots walk a wrapping raster and repaint the cells they cross; their trails\n"
    "build a picture over minutes. One of ten communities is chosen from the clock.\n"
    "\n"
    "Render options: see 'lumivor render --help'.\n";
#endif

// `arg` is the flag `name` with one dash or two.
bool Is(const char* arg, const char* name) {
    if (arg[0] != '-') return false;
    return std::strcmp(arg + (arg[1] == '-' ? 2 : 1), name) == 0;
}

// What was written to standard output must have arrived: a full disk or a
// closed pipe is a failure, not a success.
int FinishStandardOutput(int status) {
    const bool flush_failed = std::fflush(stdout) != 0;
    const int err = errno;
    if (!flush_failed && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "lumivor: cannot write to standard output: %s\n",
                 flush_failed ? std::strerror(err) : "write error");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A stop signal that comes while a window run starts is held, never lost
    // (the run loop lets it through); a render ends on one at once.
    const bool renders = argc >= 2 && std::strcmp(argv[1], "render") == 0;
    if (!renders) HoldStopSignals();
    // Nothing the program opens may become a standard stream.
    OpenClosedStandardStreams();
#ifdef _WIN32
    // Files and the standard streams carry bytes as written, without CR before LF,
    // so that outputs are the same on every system.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The arguments in UTF-8, names outside the ANSI code page included.
    Utf8CommandLine command_line;
    std::string error;
    if (!command_line.Read(&error)) {
        std::fprintf(stderr, "lumivor: %s\n", error.c_str());
        return 2;
    }
    argc = command_line.argc();
    argv = command_line.argv();
#endif
    const bool help = argc >= 2 && (Is(argv[1], "help") || Is(argv[1], "h"));
    const bool version = argc >= 2 && Is(argv[1], "version");
    if ((help || version) && argc > 2) {
        std::fprintf(stderr, "lumivor: %s takes no arguments, not '%s' (see 'lumivor --help')\n",
                     argv[1], argv[2]);
        return 2;
    }
    int status = 0;
    if (help) {
        std::fputs(kUsage, stdout);
    } else if (version) {
        std::printf("lumivor %s\n", LUMIVOR_VERSION);
    } else if (renders) {
        status = RenderCommand(argc - 1, argv + 1);
    } else if (argc >= 2 && std::strcmp(argv[1], "idle") == 0) {
        status = IdleCommand(argc - 1, argv + 1);
    } else {
        status = WindowCommand(argc, argv);
    }
    return FinishStandardOutput(status);
}
