#!/bin/sh
# What the saver costs on Wayland without a GPU: `lumivor --wayland --fps` as an
# overlay on a headless sway with its software renderer (pixman), at 1920x1080
# and 3840x2160. For each size and community it prints the process's CPU seconds
# per wall second (utime + stime from /proc/PID/stat over the measured time),
# sway's, and the mean ticks per second of the --fps lines written meanwhile.
# Figures only, never judged. Runs as root: sway refuses root and is started as
# the user nobody (setpriv), the saver connects to it as root.
#
# Usage: bench/wayland_cpu.sh [path/to/lumivor] [seconds, default 20] [presets, default "0 3 7"]
# LUMIVOR_SIZES overrides the sizes ("1920x1080 3840x2160").
set -eu
LUMIVOR=${1:-build/release/cli/lumivor}
SECONDS_MEASURED=${2:-20}
PRESETS=${3:-0 3 7}
SIZES=${LUMIVOR_SIZES:-1920x1080 3840x2160}
WARMUP=3
# shellcheck source=bench/cpu_share.sh
. "$(dirname "$0")/cpu_share.sh"

for tool in sway setpriv; do
    if ! command -v "$tool" >/dev/null; then
        echo "wayland_cpu.sh: $tool is not installed (scripts/deps.sh test)" >&2
        exit 1
    fi
done
if [ "$(id -u)" -ne 0 ]; then
    echo "wayland_cpu.sh: runs as root (sway is started as the user nobody)" >&2
    exit 1
fi
if [ ! -x "$LUMIVOR" ]; then
    echo "wayland_cpu.sh: no program at $LUMIVOR" >&2
    exit 1
fi

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
    XDG_RUNTIME_DIR=$run WAYLAND_DISPLAY=$socket "$LUMIVOR" --wayland --fps \
        --preset "$1" --seed 1765000000 >/dev/null 2>"$work/fps.log" &
    saver_pid=$!
}
measured() { echo lumivor "$saver_pid" sway "$sway_pid"; }

say_machine
for size in $SIZES; do
    run=$work/run-$size
    mkdir -m 700 "$run"
    chown nobody:nogroup "$run"
    echo "output HEADLESS-1 resolution $size" >"$work/sway.conf"
    env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$run" \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setpriv --reuid=nobody --regid=nogroup --clear-groups sway -c "$work/sway.conf" \
        >"$work/sway.log" 2>&1 &
    sway_pid=$!
    waited=0
    socket=
    while [ -z "$socket" ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
        for s in "$run"/wayland-[0-9]; do [ -S "$s" ] && socket=${s##*/}; done
    done
    if [ -z "$socket" ]; then
        echo "wayland_cpu.sh: sway did not start at $size" >&2
        cat "$work/sway.log" >&2
        exit 1
    fi
    measure_presets "$size" 'lumivor: Wayland'
    kill "$sway_pid"
    wait "$sway_pid" 2>/dev/null || true
    sway_pid=
done
echo "load average at end: $(load_average)"
