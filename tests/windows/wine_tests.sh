#!/bin/sh
# Tests of the Windows programs under Wine on a private X server:
#   1. lumivor.exe render --no-gl gives the Linux program's outputs byte for byte
#      for every community: the picture on standard output, the trace of every
#      step, the final state, names outside the ANSI code page; a folder,
#      NUL and a read-only file refused before the first tick, options this
#      build cannot do refused as usage errors and left out of its help;
#   2. lumivor.scr /s covers the screen and shows exactly the picture that
#      lumivor.exe render makes of the same run (also after another window covered
#      it), saves that habitat, and ends with status 0 on a key press or a mouse
#      movement beyond a few pixels;
#   3. lumivor.scr /p runs inside a window of another program, follows its size
#      and ends when that window is destroyed, that habitat saved;
#   4. the settings dialog stores the community and the next /s run uses it.
#
#   tests/windows/wine_tests.sh BUILD-DIR LINUX-LUMIVOR
#
# LINUX-LUMIVOR is the Linux build's program, whose outputs lumivor.exe's must equal.
set -eu
# fail, die, within SECONDS COMMAND..., gone PID, finish PID SECONDS, verdict
# shellcheck source=tests/support/checks.sh
. "$(dirname "$0")/../support/checks.sh"
[ -x "${2:-}" ] || die "no Linux program '${2:-}'"
build=$(cd "$1" && pwd)
linux=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
exe=$build/lumivor.exe scr=$build/lumivor.scr

work=$(mktemp -d "${TMPDIR:-/tmp}/lumivor-wine.XXXXXX")
# Wine turns the command line's bytes into UTF-16 by the locale: a UTF-8 one, so
# that the names outside the ANSI code page arrive whole whatever the caller's.
# No downloads of Wine's Mono and Gecko into the fresh prefix: nothing here needs them.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# shot same|other: a shot of the screen is the "same" as the run's render, or "other" than it.
shot() {
    import -window root "$run.png" 2>/dev/null && [ -s "$run.png" ] || return 1
    differing=$(compare -metric AE "$run.png" "$run-render.ppm" null: 2>&1)
    [ "$1" = same ] && [ "$differing" = 0 ] || { [ "$1" = other ] && [ "$differing" != 0 ]; }
}
# shows SECONDS same|other WHAT: the screen comes to be so within SECONDS; else a failure, WHAT.
shows() { within "$1" shot "$2" || fail "$run: $3"; }

# A private X server on a free display number.
Xvfb -displayfd 3 -screen 0 320x240x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
within 10 test -s "$work/display" || die "the X server did not start" "$work/xvfb.log"
export DISPLAY=":$(cat "$work/display")"

# --- the Wine prefix
# The prefix is made once; its first start takes seconds and is retried once.
for attempt in 1 2; do
    timeout 300 wine wineboot --init >"$work/wineboot.log" 2>&1 &&
        timeout 120 wineserver -w && break
    [ "$attempt" = 1 ] || die "no Wine prefix" "$work/wineboot.log"
done
cd "$work"

# --- lumivor.exe render: the Linux program's outputs, byte for byte
# Every community, each program in a folder of its own: a seed above 2^32 that
# shows in the messages whole, the trace of every step in a file named in CJK and
# emoji, and the picture on standard output or the final state there. (The Linux
# program's runs are held to the reference runs by tests/golden.)
same_runs() {
    folder=$1
    shift
    for preset in 0 1 2 3 4 5 6 7 8 9; do
        outputs="--habitat -"
        [ $((preset % 2)) = 0 ] || outputs="--habitat h.ppm --final-state"
        mkdir -p "$folder/$preset"
        # shellcheck disable=SC2086
        (cd "$folder/$preset" && timeout 120 "$@" render --no-gl --preset "$preset" \
            --seed 9876543210123 --size 96x64 --ticks 30 $outputs --trace "夜の森🌲.trace" \
            >out 2>err) || echo "status $?" >>"$folder/$preset/err"
    done
}
same_runs windows wine "$exe"
same_runs linux "$linux"
diff -rq linux windows >&2 || fail "render: lumivor.exe's outputs differ from Linux's"

# Refused before the world is built (nothing on standard output, where the
# first message comes with the world), each with its own reason and status;
# nothing touched. Options this build cannot do are not in its help, and
# refused as --png is (one check of the list both come from).
mkdir folder
echo kept >read-only.ppm
chmod a-w read-only.ppm
while IFS='|' read -r expected option target reason; do
    # shellcheck disable=SC2086
    wine "$exe" render --no-gl --size 8x8 --ticks 2 --habitat "$target" $option </dev/null \
        >refused.out 2>refused.err && status=0 || status=$?
    [ "$status" = "$expected" ] && [ ! -s refused.out ] &&
        [ "$(cat refused.err)" = "lumivor render: $reason" ] ||
        fail "render --habitat $target $option: status $status, said '$(cat refused.err)'"
done <<EOT
1||folder|cannot write folder: Is a directory
1||NUL|cannot write NUL: a device, not a file
1||read-only.ppm|cannot write read-only.ppm: Permission denied
2|--png x.png|h.ppm|--png: this build writes no PNG files (see 'lumivor render --help')
EOT
wine "$exe" render --help >help.out 2>&1 || fail "render --help"
[ "$(cat read-only.ppm)" = kept ] && [ -z "$(ls folder)" ] && [ ! -e h.ppm ] ||
    fail "a refused run touched its target"
grep -q -- --habitat help.out &&
    ! grep -qE -- "--(png|markers|video|every|fps|lossless)" help.out ||
    fail "render --help names options this build cannot do"

# The habitat of the same run from lumivor.exe render --no-gl.
render() {
    timeout 120 wine "$exe" render --no-gl --quiet "$@" >/dev/null 2>&1 ||
        fail "lumivor.exe render $*"
}
# Full screen: $1 names the run; $2 is how it is ended, "key" (a key press) or
# "mouse" (a small and then a large mouse movement); $3 "cover" covers it for a
# moment with another window ("-": not); $4 $5 $6 are the community the run
# must show, its seed and its ticks; $7 a line its messages must have; the rest
# are more saver options. The screen must come to show, and the saver save,
# what lumivor.exe render makes of them.
full_screen() {
    run=$1 end=$2 cover=$3 preset=$4 seed=$5 ticks=$6 says=$7
    shift 7
    render --preset "$preset" --seed "$seed" --size 320x240 --ticks "$ticks" \
        --habitat "$run-render.ppm"
    wine "$scr" /s --seed "$seed" --ticks "$ticks" --habitat "$run.ppm" "$@" \
        >"$run.out" 2>"$run.err" &
    pid=$!
    shows 60 same "the screen never showed the run's picture"
    if [ "$cover" = cover ]; then
        # Another window over part of the saver and away again: the saver repaints.
        xmessage -geometry 120x90+40+40 covering >/dev/null 2>&1 &
        cover_pid=$!
        shows 20 other "the cover never showed"
        finish "$cover_pid" 0
        shows 20 same "not repainted after a cover"
    fi
    if [ "$end" = mouse ]; then
        xdotool mousemove_relative 2 1
        sleep 2
        gone "$pid" && fail "$run: a nudge of 2 pixels ended the saver"
    fi
    # Ended by a key press, or a mouse movement beyond a few pixels; a lost
    # event is sent again, twice at most.
    for _ in 1 2 3; do
        if [ "$end" = mouse ]; then xdotool mousemove_relative 40 30; else xdotool key x; fi
        within 10 gone "$pid" && break
    done
    finish "$pid" 10
    grep -q "$says" "$run.err" || fail "$run: its messages lack '$says'"
    # The saved habitat has the screen's size, so the window covered all of it.
    [ "$status" = 0 ] && cmp -s "$run.ppm" "$run-render.ppm" ||
        fail "$run: status $status, the saved habitat $(cmp "$run.ppm" "$run-render.ppm" 2>&1)," \
            "said: $(cat "$run.err")"
}

# --- lumivor.scr /s on a 320x240 screen
full_screen opengl key cover 5 1765000185 40 "OpenGL on a framebuffer object" \
    --preset 5 --draw opengl --fps
# Mesa under Wine is software OpenGL: the saver paints the picture itself.
full_screen gdi key cover 4 1765000148 20 "painted by the program" --preset 4 --fps
# A driver without framebuffer objects (Mesa told to hide them): the saver
# paints the picture itself, and refuses to draw through OpenGL when told to.
export MESA_GL_VERSION_OVERRIDE=2.1
export MESA_EXTENSION_OVERRIDE="-GL_ARB_framebuffer_object -GL_EXT_framebuffer_object"
full_screen no-fbo mouse - 8 1765000296 30 "(OpenGL: no framebuffer objects)" --preset 8 --fps
timeout 60 wine "$scr" /s --draw opengl >no-fbo.out 2>no-fbo.err && status=0 || status=$?
[ "$status" = 1 ] && grep -q "cannot draw through OpenGL here: no framebuffer objects" no-fbo.err ||
    fail "no-fbo: --draw opengl not refused (status $status)"
unset MESA_GL_VERSION_OVERRIDE MESA_EXTENSION_OVERRIDE

# --- lumivor.scr /p in another program's window, which exits with the saver's status
timeout 120 wine "$build/tests/windows/preview_parent.exe" "$scr" 160 120 200 150 \
    --seed 1765000037 --preset 1 --ticks 30 --habitat preview.ppm >preview.out 2>&1 &&
    status=0 || status=$?
render --preset 1 --seed 1765000037 --size 160x120 --ticks 30 --habitat preview-render.ppm
[ "$status" = 0 ] && cmp -s preview.ppm preview-render.ppm ||
    fail "preview (status $status): $(cat preview.out)"

# --- settings: lumivor.scr /c
# The dialog driven by keys: from the clock, one step down is the first community.
# Keys sent before the dialog takes them (its start may take seconds on a busy
# machine) are lost; the stored choice is read back, and the dialog driven again,
# twice at most.
for attempt in 1 2 3; do
    timeout 60 wine "$scr" /c --choose clock >/dev/null 2>&1 || true
    wine "$scr" /c >dialog.out 2>dialog.err &
    pid=$!
    timeout 60 xdotool search --sync --name "Lumivor settings" windowfocus %1 sleep 1 \
        key --delay 500 Down Return >/dev/null 2>&1 || true
    finish "$pid" 20
    stored=$(timeout 60 wine reg query 'HKCU\Software\Lumivor' /v Community 2>/dev/null |
        tr -d '\r' | awk '$1 == "Community" { print $3 }')
    [ "$status" = 0 ] && [ "$stored" != clock ] && break
done
[ "$status" = 0 ] || fail "settings dialog driven by keys (status $status)"
full_screen chosen0 key - 0 1765000009 3 "^InitCommunity(0)"

# Back to the clock's choice.
timeout 60 wine "$scr" /c --choose clock >/dev/null 2>&1 || fail "/c --choose clock"
full_screen clock key - 7 1765000007 3 "^InitCommunity(7)"

verdict "windows tests"
