// lumivor.scr: the saver as Windows runs screen savers (full screen, preview,
// settings), plus options that make a run reproducible.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "host/windows/saver_window.h"
#include "host/windows/scr_options.h"
#include "host/windows/settings.h"

namespace {

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

int main(int argc, char** argv) {
    UseParentConsole();
    // The window is as large as the screen in real pixels, also on scaled displays
    // where Windows would otherwise stretch a smaller picture.
    SetProcessDPIAware();
    // Files and the standard streams carry bytes as written, without CR before LF.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    ScrOptions options;
    if (!ParseScrOptions(argc, argv, &options, stderr)) return 2;
    switch (options.mode) {
        case ScrMode::kHelp:
            std::fputs(kScrUsage, stdout);
            return 0;
        case ScrMode::kSettings:
            return RunSettingsDialog(options.window, options.choose, stderr);
        case ScrMode::kFullScreen:
        case ScrMode::kPreview:
            break;
    }
    // The stored community, unless the command line names one.
    if (!options.preset_given) options.start.community = ReadCommunitySetting();
    return RunSaverWindow(options, stderr);
}
