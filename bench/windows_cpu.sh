#!/bin/sh
# What the Windows saver costs where OpenGL is software: `lumivor.scr /s --fps`
# under Wine on an Xvfb screen, whose OpenGL is Mesa's software renderer, so
# that the saver paints the picture itself and shows the changed parts with GDI
# (the default, auto). For each size and community it prints the saver
# process's CPU seconds per wall second (utime + stime from /proc/PID/stat over
# the measured time: every thread of the Windows process, Wine's own code in it
# included), those of wineserver and of the X server, and the mean ticks per
# second of the --fps lines written meanwhile. Figures only, never judged.
#
# Usage: bench/windows_cpu.sh [path/to/lumivor.scr] [seconds, default 20] [presets, default "0 3 7"]
# LUMIVOR_SIZES overrides the sizes ("1920x1080"), LUMIVOR_FLAGS adds saver
# options (--draw opengl measures drawing through OpenGL instead).
set -eu
SCR=${1:-build/windows/lumivor.scr}
SECONDS_MEASURED=${2:-20}
PRESETS=${3:-0 3 7}
SIZES=${LUMIVOR_SIZES:-1920x1080}
WARMUP=5
# shellcheck source=bench/cpu_share.sh
. "$(dirname "$0")/cpu_share.sh"

need_tools windows_cpu.sh "scripts/deps.sh test" Xvfb wine wineserver
if [ ! -f "$SCR" ]; then
    echo "windows_cpu.sh: no program at $SCR (scripts/windows.sh build)" >&2
    exit 1
fi
SCR=$(cd "$(dirname "$SCR")" && pwd)/$(basename "$SCR")

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The wineserver of this prefix: the one whose environment names it.
wineserver_pid() {
    for pid in $(pgrep wineserver); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

# wine execs the program: the process started is the saver itself.
start_saver() {
    # shellcheck disable=SC2086
    DISPLAY=$display wine "$SCR" /s --fps --preset "$1" --seed 1765000000 \
        ${LUMIVOR_FLAGS:-} >/dev/null 2>"$work/fps.log" &
    saver_pid=$!
}
measured() {
    echo lumivor.scr "$saver_pid" wineserver "$(wineserver_pid)" Xvfb "$xvfb_pid"
}

say_machine
echo "wine: $(wine --version)"
timeout 300 wine wineboot --init >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log" >&2
    exit 1
}
# The prefix's processes end before the first run, which starts them again on its display.
timeout 60 wineserver -w || wineserver -k
for size in $SIZES; do measure_on_xvfb windows_cpu.sh "$size" "^lumivor: ${size},"; done
echo "load average at end: $(load_average)"
