// lumivor.scr: the saver as Windows runs screen savers (full screen, preview,
// settings), plus options that make a run reproducible.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "host/windows/saver_window.h"
#include "host/windows/scr_options.h"
#include "host/windows/settings.h"
#include "saver/start.h"

int main(int argc, char** argv) {
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
    if (!options.preset_given) options.start.preset = ReadCommunitySetting();
    const FixedStart fixed(options.start);
    return RunSaverWindow(options, stderr);
}
