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
TICK=$(getconf CLK_TCK)

if ! command -v Xvfb >/dev/null; then
    echo "window_cpu.sh: Xvfb is not installed (apt-get install xvfb)" >&2
    exit 1
fi
if [ ! -x "$LUMIVOR" ]; then
    echo "window_cpu.sh: no program at $LUMIVOR" >&2
    exit 1
fi

work=$(mktemp -d)
xvfb_pid=
saver_pid=
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Clock ticks of CPU time (user + system) the process has used so far.
cpu_ticks() {
    # Fields 14 and 15 of /proc/PID/stat; the name in field 2 may hold spaces.
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores;" \
    "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for size in $SIZES; do
    : >"$work/display"
    Xvfb -screen 0 "${size}x24" -nolisten tcp -displayfd 3 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    waited=0
    while [ ! -s "$work/display" ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if [ ! -s "$work/display" ]; then
        echo "window_cpu.sh: Xvfb did not start at $size" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    display=":$(head -n1 "$work/display")"
    for preset in $PRESETS; do
        # shellcheck disable=SC2086
        DISPLAY=$display LIBGL_ALWAYS_SOFTWARE=1 "$LUMIVOR" -root -fps --preset "$preset" \
            --seed 1765000000 ${LUMIVOR_FLAGS:-} >/dev/null 2>"$work/fps.log" &
        saver_pid=$!
        sleep "$WARMUP"
        lines_before=$(wc -l <"$work/fps.log")
        cpu0=$(cpu_ticks "$saver_pid")
        xcpu0=$(cpu_ticks "$xvfb_pid")
        t0=$(date +%s.%N)
        sleep "$SECONDS_MEASURED"
        cpu1=$(cpu_ticks "$saver_pid")
        xcpu1=$(cpu_ticks "$xvfb_pid")
        t1=$(date +%s.%N)
        kill "$saver_pid"
        wait "$saver_pid" || true
        saver_pid=
        tail -n +"$((lines_before + 1))" "$work/fps.log" | grep 'ticks/s, CPU' | grep -v 'at exit' |
            awk -v size="$size" -v preset="$preset" -v c0="$cpu0" -v c1="$cpu1" \
                -v x0="$xcpu0" -v x1="$xcpu1" -v t0="$t0" -v t1="$t1" -v hz="$TICK" '
                { n += 1; sum += $2 }
                END {
                    wall = t1 - t0
                    printf "%s preset %s: lumivor %.1f%% of a core (%.2f CPU s per wall s " \
                        "over %.1f s), Xvfb %.1f%%, %.1f ticks/s\n", size, preset,
                        100 * (c1 - c0) / hz / wall, (c1 - c0) / hz / wall, wall,
                        100 * (x1 - x0) / hz / wall, n ? sum / n : 0
                }'
        grep -m1 'lumivor: window' "$work/fps.log" | sed 's/^/    /' || true
    done
    kill "$xvfb_pid"
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
