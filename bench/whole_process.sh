#!/bin/sh
# Whole-process figure: ten minutes of the saver (4500 x 10 ticks, 1.24 billion
# bot steps at 1920x1080) rendered without OpenGL, with wall time, CPU time and
# peak memory. Usage: bench/whole_process.sh [path/to/lumivor] [minutes]
set -eu
LUMIVOR=${1:-build/release/cli/lumivor}
MINUTES=${2:-10}
for preset in 0 1 2 3 4 5 6 7 8 9; do
    /usr/bin/time -f "preset $preset: %e s wall, %U s user, %M KiB peak" \
        "$LUMIVOR" render --no-gl --quiet --preset "$preset" --seed 1765000000 \
        --minutes "$MINUTES" --size 1920x1080 --final-state >/dev/null
done
