#!/bin/sh
# Instructions per bot step, counted by callgrind (independent of machine
# load): for each community, ten updates of the saver's specialised walks, ten
# of the marking walks (a run without trails) and ten of a plain loop of the
# general step, after a hundred updates to warm up.
# Usage: bench/instructions.sh [path/to/lumivor_bench]
set -eu
BENCH=${1:-build/release/bench/lumivor_bench}
if ! command -v valgrind >/dev/null 2>&1; then
    echo "valgrind is not installed: no instruction counts" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Steps counted per run: 10 updates x 8 bots x 1728 steps (a bot walks a step
# for every 1200 pixels of the 1920x1080 habitat).
steps=138240
for n in 0 1 2 3 4 5 6 7 8 9; do
    for what in MeasuredUpdates MeasuredMarkingUpdates MeasuredPlainUpdates; do
        valgrind --tool=callgrind --callgrind-out-file="$out/$what.$n" \
            --toggle-collect="*$what*" "$BENCH" \
            --benchmark_filter="BM_InstructionWorkload/$n/" >/dev/null 2>&1
    done
    fast=$(sed -n 's/^totals: *//p; s/^summary: *//p' "$out/MeasuredUpdates.$n" | head -n 1)
    plain=$(sed -n 's/^totals: *//p; s/^summary: *//p' "$out/MeasuredPlainUpdates.$n" | head -n 1)
    marking=$(sed -n 's/^totals: *//p; s/^summary: *//p' "$out/MeasuredMarkingUpdates.$n" |
        head -n 1)
    echo "$n $fast $plain $marking" >>"$out/counts"
    echo "$n $fast $plain $marking" | awk -v s="$steps" \
        '{ printf "community %d: %.1f instructions/step, marking walks %.1f, plain loop %.1f, ratio %.2f\n",
                  $1, $2 / s, $4 / s, $3 / s, $3 / $2 }'
done
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", (v[5] + v[6]) / 2 }'; }
fast_median=$(awk -v s="$steps" '{ print $2 / s }' "$out/counts" | median)
plain_median=$(awk -v s="$steps" '{ print $3 / s }' "$out/counts" | median)
marking_median=$(awk -v s="$steps" '{ print $4 / s }' "$out/counts" | median)
echo "median: $fast_median instructions/step, marking walks $marking_median, plain loop $plain_median"
