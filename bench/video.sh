#!/bin/sh
# Time-lapse figures: a render of MINUTES (default 10: 45000 ticks) at SIZE
# (default 1920x1080) with a frame every second of the saver (--every 75: 600
# frames for ten minutes), as WebM (VP8), lossless WebM (VP9) and MP4 (H.264),
# each with wall time, CPU time, peak memory and the video's size; the walk
# alone first, for what the video adds. Then a GIF of ten seconds at 640x360
# (4500 ticks, a frame every 15): its size, peak memory and its error against
# the lossless frames (PSNR and mean squared error over RGB, by FFmpeg).
# Targets at 1920x1080 for ten minutes: WebM in 60 s of wall time, lossless in
# 120 s; peaks of at most 128 MiB for WebM and 96 MiB for MP4.
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
        "$LUMIVOR" render --no-gl --quiet --preset 3 --seed 1765000000 "$@"
}

echo "== $SIZE, $MINUTES minutes (load average $(cut -d' ' -f1-3 /proc/loadavg)) =="
run "walk only" --minutes "$MINUTES" --size "$SIZE" --final-state >/dev/null
for video in x.webm "x.webm --lossless" x.mp4; do
    # shellcheck disable=SC2086
    set -- $video
    run "--video $video" --minutes "$MINUTES" --size "$SIZE" --every 75 --video "$out/$1" ${2:-}
    echo "    $(stat -c %s "$out/$1") bytes"
    rm -f "$out/$1"
done
echo "== GIF, 640x360, 10 seconds =="
gif="--size 640x360 --ticks 4500"
# shellcheck disable=SC2086
run "--video x.gif" $gif --video "$out/x.gif"
# shellcheck disable=SC2086
run "(reference: lossless)" $gif --video "$out/x.mkv" --lossless 2>/dev/null
echo "    $(stat -c %s "$out/x.gif") bytes, error: $(ffmpeg -v info -nostats -i "$out/x.gif" \
    -i "$out/x.mkv" -lavfi "[0]format=rgb24[a];[1]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR r.* average:\([0-9.]*\).*/PSNR \1 dB/p')"
