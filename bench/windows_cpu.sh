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
TICK=$(getconf CLK_TCK)

for tool in Xvfb wine wineserver; do
    if ! command -v "$tool" >/dev/null; then
        echo "windows_cpu.sh: $tool is not installed (scripts/deps.sh test)" >&2
        exit 1
    fi
done
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

# Clock ticks of CPU time (user + system) process $1 has used so far.
cpu_ticks() {
    [ -n "$1" ] || { echo 0; return; }
    # Fields 14 and 15 of /proc/PID/stat; the name in field 2 may hold spaces.
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# The wineserver of this prefix: the one whose environment names it.
wineserver_pid() {
    for pid in $(pgrep wineserver); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores;" \
    "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "wine: $(wine --version)"
timeout 300 wine wineboot --init >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log" >&2
    exit 1
}
# The prefix's processes end before the first run, which starts them again on its display.
timeout 60 wineserver -w || wineserver -k
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
        echo "windows_cpu.sh: Xvfb did not start at $size" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    display=":$(head -n1 "$work/display")"
    for preset in $PRESETS; do
        # wine execs the program: this process is the saver itself.
        # shellcheck disable=SC2086
        DISPLAY=$display wine "$SCR" /s --fps --preset "$preset" --seed 1765000000 \
            ${LUMIVOR_FLAGS:-} >/dev/null 2>"$work/fps.log" &
        saver_pid=$!
        sleep "$WARMUP"
        server_pid=$(wineserver_pid)
        lines_before=$(wc -l <"$work/fps.log")
        cpu0=$(cpu_ticks "$saver_pid")
        wcpu0=$(cpu_ticks "$server_pid")
        xcpu0=$(cpu_ticks "$xvfb_pid")
        t0=$(date +%s.%N)
        sleep "$SECONDS_MEASURED"
        cpu1=$(cpu_ticks "$saver_pid")
        wcpu1=$(cpu_ticks "$server_pid")
        xcpu1=$(cpu_ticks "$xvfb_pid")
        t1=$(date +%s.%N)
        kill "$saver_pid"
        wait "$saver_pid" 2>/dev/null || true
        saver_pid=
        tail -n +"$((lines_before + 1))" "$work/fps.log" | grep 'ticks/s, CPU' | grep -v 'at exit' |
            awk -v size="$size" -v preset="$preset" -v c0="$cpu0" -v c1="$cpu1" \
                -v w0="$wcpu0" -v w1="$wcpu1" -v x0="$xcpu0" -v x1="$xcpu1" \
                -v t0="$t0" -v t1="$t1" -v hz="$TICK" '
                { n += 1; sum += $2 }
                END {
                    wall = t1 - t0
                    printf "%s preset %s: lumivor.scr %.1f%% of a core (%.3f CPU s per wall s " \
                        "over %.1f s), wineserver %.1f%%, Xvfb %.1f%%, %.1f ticks/s\n", size,
                        preset, 100 * (c1 - c0) / hz / wall, (c1 - c0) / hz / wall, wall,
                        100 * (w1 - w0) / hz / wall, 100 * (x1 - x0) / hz / wall,
                        n ? sum / n : 0
                }'
        grep -m1 "^lumivor: ${size}," "$work/fps.log" | sed 's/^/    /' || true
    done
    kill "$xvfb_pid"
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
