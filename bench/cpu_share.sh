# shellcheck shell=sh disable=SC2034,SC2154 # globals of the sourcing script
# What the CPU-share benchmarks share (sourced by window_cpu.sh, wayland_cpu.sh
# and windows_cpu.sh): a process's CPU time, an Xvfb of a given size, the
# measurement of a running saver beside the servers it draws through, and the
# loop over the communities, on an Xvfb of its own where asked. The sourcing
# script sets $work (a scratch folder), SECONDS_MEASURED, WARMUP and PRESETS,
# and defines start_saver and measured (see measure_presets).

TICK=$(getconf CLK_TCK)

# need_tools NAME HINT TOOL...: exits after a line naming HINT (how to install
# it) for the first TOOL that is not installed. NAME is the calling script's.
need_tools() {
    name=$1 hint=$2
    shift 2
    for tool in "$@"; do
        command -v "$tool" >/dev/null && continue
        echo "$name: $tool is not installed ($hint)" >&2
        exit 1
    done
}

# need_program NAME PATH: exits after a line unless PATH is an executable file.
need_program() {
    if [ ! -x "$2" ]; then
        echo "$1: no program at $2" >&2
        exit 1
    fi
}

# Clock ticks of CPU time (user + system) process $1 has used so far; 0 for no
# process ("" or "-").
cpu_ticks() {
    case $1 in "" | -) echo 0 && return ;; esac
    # Fields 14 and 15 of /proc/PID/stat; the name in field 2 may hold spaces.
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

load_average() {
    cut -d' ' -f1-3 /proc/loadavg
}

say_machine() {
    echo "machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores;" \
        "load average at start: $(load_average)"
}

# stop PID: ends process PID (a saver or a server this script started) and
# reaps it; nothing for no process ("").
stop() {
    [ -n "$1" ] || return 0
    kill "$1"
    wait "$1" 2>/dev/null || true
}

# start_xvfb NAME SIZE: an Xvfb screen of SIZE (WxH); sets xvfb_pid and display.
# NAME is the calling script's, for its messages.
start_xvfb() {
    : >"$work/display"
    Xvfb -screen 0 "${2}x24" -nolisten tcp -displayfd 3 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    waited=0
    while [ ! -s "$work/display" ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if [ ! -s "$work/display" ]; then
        echo "$1: Xvfb did not start at $2" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    display=":$(head -n1 "$work/display")"
}

# measure SIZE PRESET LOG NAME PID [NAME PID]...: the CPU share of each named
# process (the saver first) over SECONDS_MEASURED seconds, and the mean ticks a
# second of the --fps lines the saver wrote to LOG meanwhile; then the saver is
# stopped.
measure() {
    size=$1 preset=$2 log=$3 saver=$5
    shift 3
    names="" pids=""
    while [ $# -ge 2 ]; do
        names="$names $1" pids="$pids ${2:--}"
        shift 2
    done
    lines_before=$(wc -l <"$log")
    # shellcheck disable=SC2086 # one word a process
    before=$(for pid in $pids; do cpu_ticks "$pid"; done | tr '\n' ' ')
    t0=$(date +%s.%N)
    sleep "$SECONDS_MEASURED"
    # shellcheck disable=SC2086
    after=$(for pid in $pids; do cpu_ticks "$pid"; done | tr '\n' ' ')
    t1=$(date +%s.%N)
    stop "$saver"
    tail -n +"$((lines_before + 1))" "$log" | grep 'ticks/s, CPU' | grep -v 'at exit' |
        awk -v size="$size" -v preset="$preset" -v names="$names" -v before="$before" \
            -v after="$after" -v t0="$t0" -v t1="$t1" -v hz="$TICK" '
            { n += 1; sum += $2 }
            END {
                wall = t1 - t0
                count = split(names, name, " ")
                split(before, b, " ")
                split(after, a, " ")
                printf "%s preset %s: %s %.1f%% of a core (%.2f CPU s per wall s over %.1f s)",
                    size, preset, name[1], 100 * (a[1] - b[1]) / hz / wall,
                    (a[1] - b[1]) / hz / wall, wall
                for (i = 2; i <= count; i++)
                    printf ", %s %.1f%%", name[i], 100 * (a[i] - b[i]) / hz / wall
                printf ", %.1f ticks/s\n", n ? sum / n : 0
            }'
}

# measure_presets SIZE PATTERN: for each community of $PRESETS, starts the
# saver (the sourcing script's `start_saver PRESET`, which runs it in the
# background with its --fps lines going to $work/fps.log and sets saver_pid),
# lets it warm up, measures it beside the processes that `measured` names
# ("NAME PID" pairs, the saver first; asked after the warm-up, when every
# server the saver uses runs), and prints the first line of its log that
# matches PATTERN (the saver's own description of how it draws).
measure_presets() {
    for preset in $PRESETS; do
        start_saver "$preset"
        sleep "$WARMUP"
        # shellcheck disable=SC2046 # one word a name or an id
        measure "$1" "$preset" "$work/fps.log" $(measured)
        saver_pid=
        grep -m1 "$2" "$work/fps.log" | sed 's/^/    /' || true
    done
}

# measure_on_xvfb NAME SIZE PATTERN: measure_presets SIZE PATTERN on an Xvfb
# screen of SIZE started for it (start_xvfb NAME SIZE) and stopped after.
measure_on_xvfb() {
    start_xvfb "$1" "$2"
    measure_presets "$2" "$3"
    stop "$xvfb_pid"
    xvfb_pid=
}
