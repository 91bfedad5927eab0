#!/bin/sh
# What the saver costs where OpenGL is software: `lumivor -root -fps` on an Xvfb
# screen with Mesa's software renderer, at 1920x1080 and 3840x2160. For each
# size and community it prints the process's CPU seconds per wall second (utime +
# stime from /proc/PID/stat over the measured time), the X server's, and the mean
# ticks per second of the -fps lines written meanwhile. Figures only, never judged.
#
# Usage: bench/window_cpu.sh [path/to/lumivor] [seconds, default 20] [presets, default "0 3 7"]
# LUMIVOR_SIZES overrides the sizes ("1920x1080 3840x2160"), LUMIVOR_FLAGS adds
# lumivor flags; LUMIVOR_PRESENT=full measures the OpenGL way a GPU takes.
set -eu
LUMIVOR=${1:-build/release/cli/lumivor}
SECONDS_MEASURED=${2:-20}
PRESETS=${3:-0 3 7}
SIZES=${LUMIVOR_SIZES:-1920x1080 3840x2160}
WARMUP=3
# shellcheck source=bench/cpu_share.sh
. "$(dirname "$0")/cpu_share.sh"

need_tools window_cpu.sh "apt-get install xvfb" Xvfb
need_program window_cpu.sh "$LUMIVOR"

work=$(mktemp -d)
xvfb_pid=
saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

start_saver() {
    # shellcheck disable=SC2086
    DISPLAY=$display LIBGL_ALWAYS_SOFTWARE=1 "$LUMIVOR" -root -fps --preset "$1" \
        --seed 1765000000 ${LUMIVOR_FLAGS:-} >/dev/null 2>"$work/fps.log" &
    saver_pid=$!
}
measured() { echo lumivor "$saver_pid" Xvfb "$xvfb_pid"; }

say_machine
for size in $SIZES; do measure_on_xvfb window_cpu.sh "$size" 'lumivor: window'; done
echo "load average at end: $(load_average)"
