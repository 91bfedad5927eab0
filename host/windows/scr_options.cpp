#include "host/windows/scr_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "world/community.h"

const char kScrUsage[] =
    "usage: lumivor.scr [/s | /p HWND | /c[:HWND]] [options]\n"
    "The Lumivor screen saver. Windows starts it with one of these switches\n"
    "('/' or '-', any case; a window handle after a space or a colon):\n"
    "\n"
    "  /s                full screen over every monitor until a key, a mouse button\n"
    "                    or a mouse movement\n"
    "  /p HWND           a live preview inside window HWND, until that window goes away\n"
    "  /c[:HWND]         the settings dialog (also with no switch at all)\n"
    "\n"
    "Options for reproducible runs:\n"
    "  --preset N        community 0..9 (default: the stored setting)\n"
    "  --seed S          the clock reading at start (default: the real clock)\n"
    "  --ticks T         run T ticks (the first only clears), then hold the picture\n"
    "  --habitat FILE    when the saver ends, save the display habitat as a binary PPM\n"
    "  --window-buffer   draw into the window's own buffer, not a framebuffer object\n"
    "  --choose C        with /c: pick C (clock, or a community name or number) and save\n"
    "  --fps             report ticks per second and CPU share when the saver ends\n"
    "  --help            show this text\n";

namespace {

bool ParseUnsigned(const char* text, int base, unsigned long long max, unsigned long long* out) {
    if (text == nullptr || *text == '\0' || *text == '-' || *text == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, base);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

bool SameIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// "clock", a community name or its number 0..9; -2 when none of these.
int ParseChoice(const char* text) {
    if (text == nullptr) return -2;
    if (SameIgnoringCase(text, "clock")) return -1;
    for (int i = 0; i < kCommunityCount; ++i)
        if (SameIgnoringCase(text, community_names[i])) return i;
    unsigned long long n = 0;
    if (ParseUnsigned(text, 10, kCommunityCount - 1, &n)) return static_cast<int>(n);
    return -2;
}

}  // namespace

bool ParseScrOptions(int argc, const char* const* argv, ScrOptions* o, std::FILE* diag) {
    *o = ScrOptions();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char* what) {
            std::fprintf(diag, "lumivor: %s needs %s\n", arg, what);
            return false;
        };
        unsigned long long n = 0;
        // A switch of the screen-saver protocol: one letter after '/' or '-',
        // alone or followed by ':' and a window handle.
        if ((arg[0] == '/' || arg[0] == '-') && std::isalpha(static_cast<unsigned char>(arg[1])) &&
            (arg[2] == '\0' || arg[2] == ':')) {
            const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
            const char* handle = arg[2] == ':' ? arg + 3 : nullptr;
            if (letter == 's') {
                o->mode = ScrMode::kFullScreen;
            } else if (letter == 'p' || letter == 'c') {
                o->mode = letter == 'p' ? ScrMode::kPreview : ScrMode::kSettings;
                // The handle may also come as the next argument.
                if (handle == nullptr && value != nullptr &&
                    std::isdigit(static_cast<unsigned char>(value[0]))) {
                    handle = value;
                    ++i;
                }
                if (handle != nullptr) {
                    if (!ParseUnsigned(handle, 0, UINTPTR_MAX, &n) || n == 0)
                        return bad("a window handle (a positive number)");
                    o->window = static_cast<std::uintptr_t>(n);
                } else if (letter == 'p') {
                    return bad("a window handle");
                }
            } else if (letter == 'h') {
                o->mode = ScrMode::kHelp;
            } else {
                std::fprintf(diag, "lumivor: unknown switch '%s' (see 'lumivor.scr --help')\n",
                             arg);
                return false;
            }
        } else if (std::strcmp(arg, "--help") == 0) {
            o->mode = ScrMode::kHelp;
        } else if (std::strcmp(arg, "--preset") == 0) {
            if (!ParseUnsigned(value, 10, kCommunityCount - 1, &n))
                return bad("a community number 0..9");
            o->start.community = static_cast<int>(n);
            o->preset_given = true;
            ++i;
        } else if (std::strcmp(arg, "--seed") == 0) {
            if (!ParseUnsigned(value, 10, 0x7fffffffffffffffULL, &n))
                return bad("a clock reading (a non-negative integer)");
            o->start.clock = StartClock::Fixed(n);
            ++i;
        } else if (std::strcmp(arg, "--ticks") == 0) {
            if (!ParseUnsigned(value, 10, 1000000000ULL, &n) || n == 0)
                return bad("a tick count 1..1000000000");
            o->ticks = static_cast<unsigned long>(n);
            ++i;
        } else if (std::strcmp(arg, "--habitat") == 0) {
            if (value == nullptr || *value == '\0') return bad("a file name");
            o->habitat_path = value;
            ++i;
        } else if (std::strcmp(arg, "--choose") == 0) {
            o->choose = ParseChoice(value);
            if (o->choose == -2) return bad("'clock', a community name or a number 0..9");
            ++i;
        } else if (std::strcmp(arg, "--window-buffer") == 0) {
            o->window_buffer = true;
        } else if (std::strcmp(arg, "--fps") == 0) {
            o->fps = true;
        } else {
            std::fprintf(diag, "lumivor: unknown option '%s' (see 'lumivor.scr --help')\n", arg);
            return false;
        }
    }
    return true;
}
