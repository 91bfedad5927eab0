#!/bin/sh
# Time-lapse figures: a render of MINUTES (default 10: 45000 ticks) at SIZE
# (default 1920x1080) with a frame every second of the saver (--every 75: 600
# frames for ten minutes), as WebM (VP9), lossless WebM and MP4 (H.264), each
# with wall time, CPU time, peak memory and the video's size; the walk alone
# first, for what the video adds. Targets at 1920x1080 for ten minutes: WebM
# in 60 s of wall time, lossless in 120 s.
# Usage: bench/video.sh [path/to/lumivor] [WxH] [minutes]
set -eu
LUMIVOR=${1:-build/release/cli/lumivor}
SIZE=${2:-1920x1080}
MINUTES=${3:-10}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() {
    label=$1
    shift
    /usr/bin/time -f "$label: %e s wall, %U s user, %S s sys, %M KiB peak" \
        "$LUMIVOR" render --no-gl --quiet --preset 3 --seed 1765000000 --minutes "$MINUTES" \
        --size "$SIZE" "$@"
}

echo "== $SIZE, $MINUTES minutes =="
run "walk only" --final-state >/dev/null
for video in x.webm "x.webm --lossless" x.mp4; do
    # shellcheck disable=SC2086
    set -- $video
    run "--video $video" --every 75 --video "$out/$1" ${2:-}
    echo "    $(stat -c %s "$out/$1") bytes"
    rm -f "$out/$1"
done
