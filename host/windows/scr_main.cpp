// lumivor.scr: the saver as Windows runs screen savers (full screen, preview,
// settings), plus options that make a run reproducible. Its options come from
// the program's one option table, with the same messages as on Linux.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "host/shared/options.h"
#include "host/shared/outputs.h"
#include "host/windows/command_line.h"
#include "host/windows/saver_window.h"
#include "host/windows/settings.h"

namespace {

const char kScrUsage[] =
    "usage: lumivor.scr [/s | /p HWND | /c[:HWND]] [options]\n"
    "The Lumivor screen saver. Windows starts it with one of these switches\n"
    "('/' or '-', any case; a window handle after a space or a colon). The\n"
    "options make a run reproducible; they take one dash or two.\n"
    "\n";

// A windowed program started from a console has no standard streams of its own:
// messages and --help go to the console it was started from, if any.
void UseParentConsole() {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

int main() {
    UseParentConsole();
    // The window is as large as the screen in real pixels, also on scaled displays
    // where Windows would otherwise stretch a smaller picture.
    SetProcessDPIAware();
    // Files and the standard streams carry bytes as written, without CR before LF.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    Utf8CommandLine command_line;
    ScrArgs args;
    std::string error;
    if (!command_line.Read(&error)) {
        std::fprintf(stderr, "lumivor: %s\n", error.c_str());
        return 2;
    }
    if (!ParseScrArgs(command_line.argc(), command_line.argv(), &args, &error)) {
        std::fprintf(stderr, "lumivor: %s (see 'lumivor.scr --help')\n", error.c_str());
        return 2;
    }
    if (args.window.help) {
        std::fputs(kScrUsage, stdout);
        PrintOptions(kScrCommand, stdout);
        return 0;
    }
    if (args.mode == ScrMode::kSettings) return RunSettingsDialog(args.handle, args.choose, stderr);
    WindowJob& job = args.window.job;
    // The stored community, unless the command line names one.
    if (job.start.community < 0) job.start.community = ReadCommunitySetting();
    const int settled = SettleRunOutputs({{"--habitat", &job.habitat_path}}, nullptr, nullptr,
                                         args.window.quiet, "lumivor", stderr);
    if (settled != 0) return settled;
    return RunSaverWindow(job, args.mode == ScrMode::kPreview ? args.handle : 0);
}
