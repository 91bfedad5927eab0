#!/bin/sh
# A/B of the saver's ticks on a 1920x1080 pixel buffer (BM_SaverTicks of
# bench/bench_saver.cpp) between two builds of lumivor_bench, the old one built
# from another commit with this bench file copied in. For each community the
# two run one after the other, ROUNDS times, so that both see the same load on
# a shared machine; each pair gives a ratio of the whole tick's time and one of
# the painting's. Prints, per community, the medians of the two programs and
# of the pair ratios as a speed-up.
#
# Usage: bench/saver_ab.sh OLD_BENCH [NEW_BENCH, default build/release/bench/lumivor_bench] [rounds, default 5]
set -eu
if [ $# -lt 1 ]; then
    echo "usage: bench/saver_ab.sh OLD_BENCH [NEW_BENCH] [rounds]" >&2
    exit 2
fi
OLD=$1
NEW=${2:-build/release/bench/lumivor_bench}
ROUNDS=${3:-5}
for program in "$OLD" "$NEW"; do
    if [ ! -x "$program" ]; then
        echo "saver_ab.sh: no program at $program" >&2
        exit 1
    fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# us_per_tick PROGRAM N: "TICK PAINT" in microseconds for community N.
us_per_tick() {
    "$1" --benchmark_filter="BM_SaverTicks/$2/" --benchmark_format=csv 2>/dev/null |
        awk -F, '/BM_SaverTicks/ { print $NF, $(NF - 1) }'  # counters in name order
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores;" \
    "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in 0 1 2 3 4 5 6 7 8 9; do
    : >"$out/pairs"
    round=0
    while [ "$round" -lt "$ROUNDS" ]; do
        echo "$(us_per_tick "$OLD" "$n") $(us_per_tick "$NEW" "$n")" >>"$out/pairs"
        round=$((round + 1))
    done
    old_tick=$(awk '{ print $1 }' "$out/pairs" | median)
    old_paint=$(awk '{ print $2 }' "$out/pairs" | median)
    new_tick=$(awk '{ print $3 }' "$out/pairs" | median)
    new_paint=$(awk '{ print $4 }' "$out/pairs" | median)
    tick_ratio=$(awk '{ print $1 / $3 }' "$out/pairs" | median)
    paint_ratio=$(awk '{ print $2 / $4 }' "$out/pairs" | median)
    echo "$n $old_tick $old_paint $new_tick $new_paint $tick_ratio $paint_ratio" |
        awk '{ printf "community %d: tick %.1f -> %.1f us (%.2fx), painting %.1f -> %.1f us (%.2fx)\n",
                      $1, $2, $4, $6, $3, $5, $7 }'
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
