#include "host/shared/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "host/render/video_writer.h"
#include "world/community.h"

namespace {

// The commands' results while parsing; a handler fills the one being parsed
// (the Windows saver fills the window command's job and its own switches).
struct Parsed {
    Command command;
    RenderArgs render;
    WindowArgs window;
    bool ticks_given = false;
    bool minutes_given = false;
    bool pace_given = false;  // --ticks-per-second (else --wallpaper has a pace of its own)
    const char* video_only = nullptr;  // an option given that needs --video
    bool scale_given = false;          // --scale, which a lossless video refuses
    ScrArgs scr = {};
    int switches = 0;                            // of /s, /p and /c
    long long idle_after = kDefaultIdleSeconds;  // idle: --after in seconds

    RunStart& start() { return command == kRenderCommand ? render.job.start : window.job.start; }
};

using Handler = bool (*)(Parsed& p, const char* value);

struct Option {
    const char* name;      // without dashes; one dash or two select it
    const char* alias;     // another name, or null
    const char* argument;  // the value's name in the help text; null: a flag; "[...]": optional
    unsigned commands;     // kWindowCommand, kRenderCommand or both
    const char* expects;   // what the value should have been, for the usage error
    const char* help;      // lines after the first start with '\n'
    Handler handle;
};

// A number begins with a digit (a fraction may begin with its point), never
// with the sign or the blanks that strtoll and strtod would skip, so that every
// host (the command line, the Windows tool, the web page's address) takes the
// same numbers.
bool BeginsAsNumber(const char* text, bool fraction) {
    return text != nullptr &&
           (std::isdigit(static_cast<unsigned char>(text[0])) || (fraction && text[0] == '.'));
}

// Digits with at most one point, as the help says: no exponent, no hex, no
// "inf", which strtod would take too.
bool ParseDouble(const char* text, double min, double max, double* out) {
    if (!BeginsAsNumber(text, true)) return false;
    if (std::strspn(text, "0123456789.") != std::strlen(text)) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < min || v > max)
        return false;
    *out = v;
    return true;
}

// Seconds: digits, alone or followed by s, m (minutes) or h (hours).
bool SetIdleTime(Parsed& p, const char* value) {
    std::string digits = value;
    long long unit = 1;
    const char last = digits.empty() ? '\0' : digits.back();
    if (last == 's' || last == 'm' || last == 'h') {
        unit = last == 's' ? 1 : last == 'm' ? 60 : 3600;
        digits.pop_back();
    }
    long long n = 0;
    if (!ParseInteger(digits.c_str(), 10, 1, kMaxIdleSeconds / unit, &n)) return false;
    p.idle_after = n * unit;
    return true;
}

bool Ignore(Parsed&, const char*) {
    return true;
}

bool SetPreset(Parsed& p, const char* value) {
    long long n = 0;
    if (!ParseInteger(value, 10, 0, 9, &n)) return false;
    p.start().community = static_cast<int>(n);
    return true;
}

bool SetSeed(Parsed& p, const char* value) {
    long long n = 0;
    if (!ParseInteger(value, 10, 0, 0x7fffffffffffffffLL, &n)) return false;
    p.start().clock = StartClock::Fixed(n);
    p.render.seed_given = true;
    return true;
}

bool SetTicks(Parsed& p, const char* value) {
    long long n = 0;
    if (!ParseInteger(value, 10, 1, kMaxTicks, &n)) return false;
    (p.command == kRenderCommand ? p.render.job.ticks : p.window.job.ticks) =
        static_cast<unsigned long>(n);
    p.ticks_given = true;
    return true;
}

bool SetMinutes(Parsed& p, const char* value) {
    double m = 0;
    if (!ParseDouble(value, 0.0, 100000.0, &m)) return false;
    const long long ticks = std::llround(m * kTicksPerMinute);
    p.render.job.ticks = ticks < 1 ? 1 : static_cast<unsigned long>(ticks);
    p.minutes_given = true;
    return true;
}

bool SetSize(Parsed& p, const char* value) {
    const char* x = std::strpbrk(value, "xX");
    if (x == nullptr) return false;
    long long w = 0, h = 0;
    if (!ParseInteger(std::string(value, x).c_str(), 10, 1, kMaxSide, &w) ||
        !ParseInteger(x + 1, 10, 1, kMaxSide, &h))
        return false;
    p.render.job.width = static_cast<int>(w);
    p.render.job.height = static_cast<int>(h);
    p.render.size_given = true;
    return true;
}

bool SetPace(Parsed& p, const char* value) {
    long long n = 0;
    if (!ParseInteger(value, 10, 1, kTicksPerSecond, &n)) return false;
    p.window.job.ticks_per_second = static_cast<int>(n);
    p.pace_given = true;
    return true;
}

bool SetHabitat(Parsed& p, const char* value) {
    (p.command == kRenderCommand ? p.render.job.habitat_path : p.window.job.habitat_path) = value;
    return true;
}

bool SetHelp(Parsed& p, const char*) {
    p.render.help = p.window.help = true;
    return true;
}

bool SetQuiet(Parsed& p, const char*) {
    p.render.quiet = p.window.quiet = true;
    return true;
}

// A Windows saver switch; /p and /c name a window (an optional one for /c).
bool SetSwitch(Parsed& p, ScrMode mode, const char* handle) {
    long long n = 0;
    if (handle != nullptr && !ParseInteger(handle, 0, 1, 0x7fffffffffffffffLL, &n)) return false;
    p.scr.mode = mode;
    p.scr.handle = static_cast<unsigned long long>(n);
    ++p.switches;
    return true;
}

// "clock", a community's name (any case) or its number.
bool SetChoice(Parsed& p, const char* value) {
    auto same = [value](const char* name) {
        size_t i = 0;
        for (; value[i] && name[i]; ++i)
            if (std::tolower(static_cast<unsigned char>(value[i])) != name[i]) return false;
        return value[i] == name[i];
    };
    long long n = 0;
    p.scr.choose = same("clock")                       ? -1
                   : ParseInteger(value, 10, 0, 9, &n) ? static_cast<int>(n)
                                                       : -2;
    for (int i = 0; i < kCommunityCount && p.scr.choose == -2; ++i)
        if (same(community_names[i])) p.scr.choose = i;
    return p.scr.choose != -2;
}

// clang-format off
const Option kOptions[] = {
    // The Windows saver: the switches Windows starts it with, then its own options.
    {"s", nullptr, nullptr, kScrCommand, nullptr,
     "full screen over every monitor until a key, a mouse button\nor a mouse movement",
     [](Parsed& p, const char*) { return SetSwitch(p, ScrMode::kFullScreen, nullptr); }},
    {"p", nullptr, "HWND", kScrCommand, "a window handle (decimal or 0x hex)",
     "a live preview inside window HWND, until that window goes away",
     [](Parsed& p, const char* v) { return SetSwitch(p, ScrMode::kPreview, v); }},
    {"c", nullptr, "[:HWND]", kScrCommand, "a window handle (decimal or 0x hex)",
     "the settings dialog, owned by window HWND (also with no switch)",
     [](Parsed& p, const char* v) { return SetSwitch(p, ScrMode::kSettings, v); }},
    {"choose", nullptr, "C", kScrCommand, "'clock', a community name or a number 0..9",
     "with /c: pick C (clock, or a community name or number) and save", SetChoice},
    {"draw", nullptr, "WAY", kScrCommand, "auto, opengl or gdi",
     "opengl: through OpenGL; gdi: painted by the program, changed parts\n"
     "shown with GDI; auto (the default): gdi where OpenGL is software",
     [](Parsed& p, const char* v) {
         const std::string way = v;
         p.window.job.present = way == "opengl" ? PresentChoice::kFull
                                : way == "gdi"  ? PresentChoice::kParts
                                                : PresentChoice::kAuto;
         return way == "auto" || way == "opengl" || way == "gdi";
     }},
    // The idle watcher's own option; the saver's options below apply to each run it starts.
    {"after", nullptr, "DURATION", kIdleCommand,
     "a duration such as 300, 90s or 5m (at most 24h)",
     "start the saver once the session has been idle this long:\n"
     "seconds, or 90s, 5m, 1h (default 5m)", SetIdleTime},
    {"draw", nullptr, "WAY", kWindowCommand | kIdleCommand, "auto, opengl or pixels",
     "on X11: opengl: through OpenGL; pixels: painted by the program,\n"
     "changed parts sent; auto (the default): pixels where OpenGL is\n"
     "software (LUMIVOR_PRESENT=full or parts asks the same)",
     [](Parsed& p, const char* v) { return ParseDrawing(v, &p.window.job.present); }},
    {"preset", nullptr, "N", kScrCommand, "a community number 0..9",
     "community 0..9 (default: the one chosen in the settings)", SetPreset},
    {"ticks", nullptr, "T", kScrCommand, "a tick count 1..1000000000",
     "run T ticks (the first only clears), then hold the picture", SetTicks},
    // The window host, with the flags every XScreenSaver hack takes.
    {"window-id", nullptr, "ID", kWindowCommand, "a window id (decimal or 0x hex)",
     "draw into window ID; comes before --root",
     [](Parsed& p, const char* v) {
         // Decimal, or hex after 0x: a leading zero is no octal prefix here.
         const bool hex = v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
         long long n = 0;
         if (!ParseInteger(hex ? v + 2 : v, hex ? 16 : 10, 1, 0xffffffffLL, &n)) return false;
         p.window.job.have_window_id = true;
         p.window.job.window_id = static_cast<unsigned long>(n);
         return true;
     }},
    {"root", nullptr, nullptr, kWindowCommand, nullptr,
     "draw into the window named by XSCREENSAVER_WINDOW,\nor else into the root window",
     [](Parsed& p, const char*) { return p.window.job.root = true; }},
    {"window", nullptr, nullptr, kWindowCommand, nullptr,
     "use an own window (the default on X11; on Wayland,\ninstead of covering every output)",
     [](Parsed& p, const char*) { return p.window.job.in_window = true; }},
    {"wallpaper", nullptr, nullptr, kWindowCommand, nullptr,
     "the desktop's background, until stopped (input never ends it):\n"
     "the root window on X11, the background layer of every output\n"
     "on Wayland (wlr-layer-shell); ticks only while it is seen",
     [](Parsed& p, const char*) { return p.window.job.wallpaper = true; }},
    {"ticks-per-second", nullptr, "N", kIdleCommand, "a pace 1..75",
     "the pace: the same pictures, N a second (default 75)", SetPace},
    {"ticks-per-second", nullptr, "N", kWindowCommand, "a pace 1..75",
     "the pace: the same pictures, N a second (default 75; with\n"
     "--wallpaper 8)", SetPace},
    {"wayland", nullptr, nullptr, kIdleCommand, nullptr,
     "watch the Wayland compositor's idle time and cover every\n"
     "output (the default when WAYLAND_DISPLAY is set)",
     [](Parsed& p, const char*) { return p.window.wayland = true; }},
    {"x11", nullptr, nullptr, kIdleCommand, nullptr,
     "watch the X server's idle time and cover the screen (the\ndefault otherwise)",
     [](Parsed& p, const char*) { return p.window.x11 = true; }},
    {"wayland", nullptr, nullptr, kWindowCommand, nullptr,
     "run on Wayland, over every output until a key, a button\nor the pointer moves (the default "
     "when WAYLAND_DISPLAY\nis set and DISPLAY is not)",
     [](Parsed& p, const char*) { return p.window.wayland = true; }},
    {"x11", nullptr, nullptr, kWindowCommand, nullptr, "run on X11 (the default otherwise)",
     [](Parsed& p, const char*) { return p.window.x11 = true; }},
    {"display", nullptr, "NAME", kWindowCommand | kIdleCommand, "a display name",
     "the X display (default: $DISPLAY)",
     [](Parsed& p, const char* v) { p.window.job.display_name = v; return true; }},
    {"fps", nullptr, nullptr, kWindowCommand | kScrCommand | kIdleCommand, nullptr,
     "report ticks per second and CPU share on standard error",
     [](Parsed& p, const char*) { return p.window.job.fps = true; }},
    {"no-fps", nullptr, nullptr, kWindowCommand | kIdleCommand, nullptr, "do not (the default)",
     [](Parsed& p, const char*) { p.window.job.fps = false; return true; }},
    {"install", nullptr, nullptr, kWindowCommand, nullptr, "accepted and ignored", Ignore},
    {"noinstall", nullptr, nullptr, kWindowCommand, nullptr, "accepted and ignored", Ignore},
    {"mono", nullptr, nullptr, kWindowCommand, nullptr, "accepted and ignored", Ignore},
    {"visual", nullptr, "ID", kWindowCommand, "a visual",
     "accepted and ignored: the saver uses the window's own visual", Ignore},
    {"delay", nullptr, "N", kWindowCommand, "a delay in microseconds",
     "accepted and ignored: the saver ticks 75 times a second",
     [](Parsed&, const char* v) {
         long long n = 0;
         return ParseInteger(v, 10, 0, 0x7fffffffLL, &n);
     }},
    // Both commands.
    {"preset", nullptr, "N", kWindowCommand | kRenderCommand | kIdleCommand,
     "a community number 0..9",
     "community 0..9 (default: the clock reading mod 10)", SetPreset},
    {"seed", nullptr, "S", kWindowCommand | kRenderCommand | kScrCommand | kIdleCommand,
     "a clock reading (a non-negative integer)",
     "the clock reading at start: seeds the generator and the world\n(default: the real clock)",
     SetSeed},
    // The renderer.
    {"size", nullptr, "WxH", kRenderCommand, "WxH, each 1..32768",
     "surface size in pixels (default 1920x1080; with --start-from,\nthe picture's size)", SetSize},
    {"ticks", nullptr, "T", kRenderCommand, "a tick count 1..1000000000",
     "animation ticks; the first only clears, every later tick runs\n"
     "two world updates (default 4500, one minute)", SetTicks},
    {"ticks", nullptr, "T", kWindowCommand, "a tick count 1..1000000000",
     "stop after T ticks (the first only clears; default: run on);\n"
     "on Wayland the picture is then held until input", SetTicks},
    {"ticks", nullptr, "T", kIdleCommand, "a tick count 1..1000000000",
     "run T ticks (the first only clears), then hold the picture\nuntil input", SetTicks},
    {"minutes", nullptr, "M", kRenderCommand, "a number of minutes 0..100000",
     "4500 x M ticks (75 ticks a second)", SetMinutes},
    {"habitat", nullptr, "FILE", kRenderCommand, "a file name",
     "save the display habitat at the end as a binary PPM, top row\nfirst (-: standard output)",
     SetHabitat},
    {"habitat", nullptr, "FILE", kWindowCommand | kScrCommand, "a file name",
     "at exit, save the display habitat as a binary PPM, top row\nfirst (-: standard output)",
     SetHabitat},
    {"habitat", nullptr, "FILE", kIdleCommand, "a file name",
     "at the end of each run, save the display habitat as a binary\n"
     "PPM, top row first (-: standard output)",
     SetHabitat},
    {"start-from", nullptr, "FILE", kRenderCommand, "a file name",
     "load a picture into the new world before the first update:\n"
     "a habitat PPM, a PNG or a BMP (-: standard input)",
     [](Parsed& p, const char* v) { p.render.job.start_from = v; return true; }},
    {"png", nullptr, "FILE", kRenderCommand, "a file name",
     "write the rendered surface as a PNG (-: standard output)",
     [](Parsed& p, const char* v) { p.render.job.png_path = v; return true; }},
    {"markers", nullptr, nullptr, kRenderCommand, nullptr,
     "draw every bot's marker on the PNG (not into the habitat file;\nneeds OpenGL)",
     [](Parsed& p, const char*) { return p.render.job.markers = true; }},
    {"no-gl", nullptr, nullptr, kRenderCommand, nullptr,
     "run the simulation only, without OpenGL; the PNG is written\nfrom the display habitat",
     [](Parsed& p, const char*) { return p.render.no_gl = true; }},
    {"trace", nullptr, "FILE", kRenderCommand, "a file name",
     "with --no-gl: one line per bot step (update bot step x y value dir\nh s l r g b)",
     [](Parsed& p, const char* v) { p.render.job.trace_path = v; return true; }},
    {"final-state", nullptr, nullptr, kRenderCommand, nullptr,
     "with --no-gl: print the bots' final positions, values and headings\n"
     "and the next random number",
     [](Parsed& p, const char*) { return p.render.job.final_state = true; }},
    {"video", nullptr, "FILE", kRenderCommand, "a file name",
     "write a time-lapse video of the picture every --every ticks and\n"
     "at the last tick; .webm: VP8, .mkv: VP8 in Matroska, .mp4: H.264\n"
     "(odd sizes padded to even), .gif: a looping GIF with one palette;\n"
     "-: WebM on standard output",
     [](Parsed& p, const char* v) { p.render.job.video_path = v; return true; }},
    {"every", nullptr, "K", kRenderCommand, "a tick count 1..1000000000",
     "with --video: a frame every K ticks (default 15, 5 frames\na second of the saver)",
     [](Parsed& p, const char* v) {
         long long n = 0;
         if (!ParseInteger(v, 10, 1, kMaxTicks, &n)) return false;
         p.render.job.video_every = static_cast<unsigned long>(n);
         p.video_only = "--every";
         return true;
     }},
    {"fps", nullptr, "R", kRenderCommand, "a frame rate 0.1..1000",
     "with --video: frames a second when played (default 30)",
     [](Parsed& p, const char* v) {
         p.video_only = "--fps";
         return ParseDouble(v, 0.1, 1000.0, &p.render.job.video_fps);
     }},
    {"lossless", nullptr, nullptr, kRenderCommand, nullptr,
     "with --video: VP9 lossless in planar RGB, which decodes to\n"
     "exactly the pictures (.webm and .mkv)",
     [](Parsed& p, const char*) {
         p.video_only = "--lossless";
         return p.render.job.video_lossless = true;
     }},
    {"scale", nullptr, "F", kRenderCommand, "a factor above 0, at most 1",
     "with --video: frames of the picture shrunk by F, each side\n"
     "rounded to whole pixels (default 1; not with --lossless)",
     [](Parsed& p, const char* v) {
         p.video_only = "--scale";
         p.scale_given = true;
         double& f = p.render.job.video_scale;
         return ParseDouble(v, 0.0, 1.0, &f) && f > 0;
     }},
    {"quiet", nullptr, nullptr, kWindowCommand | kRenderCommand | kScrCommand | kIdleCommand,
     nullptr,
     "silence the system's own messages (errors are still shown)", SetQuiet},
    {"help", "h", nullptr, kWindowCommand | kRenderCommand | kScrCommand | kIdleCommand, nullptr,
     "show this text",
     SetHelp},
    {"help-window", nullptr, nullptr, kWindowCommand, nullptr, "show this text", SetHelp},
};
// clang-format on

// The table row for a flag given with one dash or two, or null.
const Option* Find(Command command, const char* given) {
    if (given[0] != '-') return nullptr;
    const char* name = given + (given[1] == '-' ? 2 : 1);
    for (const Option& o : kOptions) {
        if (!(o.commands & command)) continue;
        if (std::strcmp(name, o.name) == 0 || (o.alias && std::strcmp(name, o.alias) == 0))
            return &o;
    }
    return nullptr;
}

bool Fail(std::string* error, const std::string& what) {
    *error = what;
    return false;
}

// An option as the user writes it: the saver's switches as Windows gives them.
std::string Shown(const Option& o) {
    return (o.commands == kScrCommand && o.name[1] == '\0' ? "/" : "--") + std::string(o.name);
}

// The options that shape a video.
[[maybe_unused]] bool IsVideoOption(const char* name) {
    for (const char* video : {"video", "every", "fps", "lossless", "scale"})
        if (std::strcmp(name, video) == 0) return true;
    return false;
}

// Why this build cannot do what an option asks, or null when it can. Such
// options are left out of the help and refused as usage errors.
const char* NotInThisBuild(Command command, const Option& o) {
#ifdef _WIN32
    // The Windows tool renders without OpenGL into habitat files only.
    if (command == kRenderCommand && std::strcmp(o.name, "png") == 0)
        return "this build writes no PNG files";
    if (command == kRenderCommand && std::strcmp(o.name, "markers") == 0)
        return "this build has no OpenGL renderer";
#endif
#ifndef LUMIVOR_HAVE_FFMPEG
    if (command == kRenderCommand && IsVideoOption(o.name))
#ifdef _WIN32
        return "this build writes no videos (the Linux build does, with FFmpeg's libraries)";
#else
        return "this build writes no videos: it needs FFmpeg's libraries (on Debian: apt-get "
               "install libavformat-dev libavcodec-dev libavutil-dev libswscale-dev "
               "libavfilter-dev, then "
               "configure and build again)";
#endif
#endif
    (void)command, (void)o;
    return nullptr;
}

bool Parse(Command command, int argc, char** argv, Parsed* p, std::string* error) {
    p->command = command;
    std::set<std::string> seen;
    for (int i = 1; i < argc; ++i) {
        const char* given = argv[i] != nullptr ? argv[i] : "";
        const Option* o = Find(command, given);
        if (o == nullptr) return Fail(error, "unknown option '" + std::string(given) + "'");
        const std::string flag = Shown(*o);
        if (const char* missing = NotInThisBuild(command, *o))
            return Fail(error, flag + ": " + missing);
        if (!seen.insert(o->name).second) return Fail(error, flag + " given twice");
        const char* value = nullptr;
        if (o->argument != nullptr) {
            value = i + 1 < argc ? argv[i + 1] : nullptr;
            // An optional value is the next argument unless that is an option.
            const bool optional = o->argument[0] == '[';
            if (optional && value != nullptr && (value[0] == '-' || value[0] == '/'))
                value = nullptr;
            if (!optional && (value == nullptr || value[0] == '\0'))
                return Fail(error, flag + " needs " + o->expects);
            if (value != nullptr) ++i;
        }
        if (!o->handle(*p, value))
            return Fail(error,
                        flag + " needs " + o->expects + ", not '" + (value ? value : "") + "'");
    }
    return true;
}

// The video's options: its name names a container, and the options that
// shape it come with it.
bool CheckVideo(const Parsed& p, std::string* error) {
    const RenderJob& job = p.render.job;
    if (job.video_path.empty()) {
        return p.video_only == nullptr ||
               Fail(error, std::string(p.video_only) + " works with --video only");
    }
    if (p.scale_given && job.video_lossless)
        return Fail(error,
                    "--scale and --lossless exclude each other: a lossless video is the "
                    "pictures exactly");
    VideoContainer container;
    return VideoContainerFor(job.video_path, job.video_lossless, &container, error);
}

// Options that make sense only together, or not at all.
bool CheckRender(const Parsed& p, std::string* error) {
    const RenderArgs& a = p.render;
    const RenderJob& job = a.job;
    if (a.help) return true;
#ifdef _WIN32
    if (!a.no_gl) return Fail(error, "this build renders without OpenGL only: give --no-gl");
#endif
    if (p.ticks_given && p.minutes_given)
        return Fail(error, "--ticks and --minutes exclude each other");
    if (a.no_gl && job.markers) return Fail(error, "--markers needs GL rendering (drop --no-gl)");
    if (!a.no_gl && !job.trace_path.empty()) return Fail(error, "--trace works with --no-gl only");
    if (!a.no_gl && job.final_state) return Fail(error, "--final-state works with --no-gl only");
    if (job.habitat_path.empty() && job.png_path.empty() && job.trace_path.empty() &&
        job.video_path.empty() && !job.final_state)
        return Fail(error,
                    "nothing to write: give --png, --habitat, --video, --trace or --final-state");
    return CheckVideo(p, error);
}

}  // namespace

bool ParseInteger(const char* text, int base, long long min, long long max, long long* out) {
    if (!BeginsAsNumber(text, false)) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, base);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseDrawing(const char* way, PresentChoice* present) {
    const std::string w = way;
    *present = w == "opengl" || w == "full"    ? PresentChoice::kFull
               : w == "pixels" || w == "parts" ? PresentChoice::kParts
                                               : PresentChoice::kAuto;
    return w == "auto" || *present != PresentChoice::kAuto;
}

bool ParseRenderArgs(int argc, char** argv, RenderArgs* args, std::string* error) {
    Parsed p{kRenderCommand, {}, {}};
    if (!Parse(kRenderCommand, argc, argv, &p, error) || !CheckRender(p, error)) return false;
    *args = p.render;
    return true;
}

bool ParseWindowArgs(int argc, char** argv, WindowArgs* args, std::string* error) {
    Parsed p{kWindowCommand, {}, {}};
    if (!Parse(kWindowCommand, argc, argv, &p, error)) return false;
    if (p.window.job.wallpaper && !p.pace_given)
        p.window.job.ticks_per_second = kWallpaperTicksPerSecond;
    *args = p.window;
    return true;
}

bool ParseIdleArgs(int argc, char** argv, IdleArgs* args, std::string* error) {
    Parsed p{kIdleCommand, {}, {}};
    if (!Parse(kIdleCommand, argc, argv, &p, error)) return false;
    args->window = p.window;
    args->window.job.covers_screen = true;
    args->after_seconds = p.idle_after;
    return true;
}

bool ParseScrArgs(int argc, char** argv, ScrArgs* args, std::string* error) {
    // Each switch Windows sends ("/S", "-p:1234", "/c") becomes the table's
    // "-s", "-p 1234", "-c" (and "/h" its "-h"); anything else stays as given.
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        const char letter =
            arg.size() >= 2 ? static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])))
                            : 0;
        if (i == 0 || (arg[0] != '/' && arg[0] != '-') || std::strchr("spch", letter) == nullptr ||
            letter == 0 || (arg.size() > 2 && arg[2] != ':')) {
            words.push_back(arg);
            continue;
        }
        words.push_back(std::string("-") + letter);
        if (arg.size() > 2) words.push_back(arg.substr(3));
    }
    std::vector<char*> normal;
    for (std::string& word : words) normal.push_back(word.data());
    Parsed p{kScrCommand, {}, {}};
    if (!Parse(kScrCommand, static_cast<int>(normal.size()), normal.data(), &p, error))
        return false;
    if (p.switches > 1) return Fail(error, "/s, /p and /c exclude each other");
    if (p.scr.choose != -2 && p.scr.mode != ScrMode::kSettings)
        return Fail(error, "--choose works with /c only");
    *args = p.scr;
    args->window = p.window;
    return true;
}

void PrintOptions(Command command, std::FILE* out) {
    constexpr int kColumn = 20;  // where the help text starts
    for (const Option& o : kOptions) {
        if (!(o.commands & command) || NotInThisBuild(command, o)) continue;
        std::string head = "  " + Shown(o);
        if (o.argument && o.argument[0] != '[') head += ' ';
        if (o.argument) head += o.argument;
        if (head.size() >= kColumn) head += "\n" + std::string(kColumn - 1, ' ');
        std::fprintf(out, "%-*s ", kColumn - 1, head.c_str());
        for (const char* c = o.help; *c; ++c) {
            std::fputc(*c, out);
            if (*c == '\n') std::fprintf(out, "%*s", kColumn, "");
        }
        std::fputc('\n', out);
    }
}
