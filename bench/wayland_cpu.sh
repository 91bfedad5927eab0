#!/bin/sh
# What the saver costs on Wayland without a GPU: `lumivor --wayland --fps` as an
# overlay on a headless sway with its software renderer (pixman), at 1920x1080
# and 3840x2160. For each size and community it prints the process's CPU seconds
# per wall second (utime + stime from /proc/PID/stat over the measured time),
# sway's, and the mean ticks per second of the --fps lines written meanwhile.
# Figures only, never judged. Runs as root: sway refuses root and is started as
# the user nobody (setpriv), the saver connects to it as root.
#
# Usage: bench/wayland_cpu.sh [path/to/lumivor] [seconds, default 20] [presets, default all ten]
# LUMIVOR_SIZES overrides the sizes ("1920x1080 3840x2160").
set -eu
LUMIVOR=${1:-build/release/cli/lumivor}
SECONDS_MEASURED=${2:-20}
PRESETS=${3:-0 1 2 3 4 5 6 7 8 9}
SIZES=${LUMIVOR_SIZES:-1920x1080 3840x2160}
WARMUP=3
# shellcheck source=bench/cpu_share.sh
. "$(dirname "$0")/cpu_share.sh"
# start_sway (and within)
# shellcheck source=tests/support/checks.sh
. "$(dirname "$0")/../tests/support/checks.sh"

need_tools wayland_cpu.sh "scripts/deps.sh test" sway setpriv
if [ "$(id -u)" -ne 0 ]; then
    echo "wayland_cpu.sh: runs as root (sway is started as the user nobody)" >&2
    exit 1
fi
need_program wayland_cpu.sh "$LUMIVOR"

work=$(mktemp -d)
chmod 755 "$work"
sway_pid=
saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
unset DISPLAY

start_saver() {
    "$LUMIVOR" --wayland --fps \
        --preset "$1" --seed 1765000000 >/dev/null 2>"$work/fps.log" &
    saver_pid=$!
}
measured() { echo lumivor "$saver_pid" sway "$sway_pid"; }

say_machine
for size in $SIZES; do
    start_sway "$work/sway-$size" "$size" || {
        echo "wayland_cpu.sh: sway did not start at $size" >&2
        exit 1
    }
    measure_presets "$size" 'lumivor: Wayland'
    stop "$sway_pid"
    sway_pid=
done
echo "load average at end: $(load_average)"
