#!/bin/sh
# A shorter soak under valgrind memcheck: the saver view's start/stop/resize
# cycles and every community on the EGL test surface (tests/soak), then every
# community through `lumivor render --no-gl`, saved and loaded back. Any
# memory error or leak of the program's own memory fails the script (exit 1);
# what Mesa's drivers keep for the process is suppressed (tests/soak/valgrind.supp).
#
#   scripts/soak-valgrind.sh [SCALE]     SCALE scales the run lengths (default 0.05;
#                                        1 is the CTest soak's length)
# Environment: LUMIVOR_VALGRIND_BUILD (build folder, default build/valgrind),
# LUMIVOR_JOBS (build jobs, default 2), LUMIVOR_CMAKE_ARGS (extra configure arguments).
set -eu
cd "$(dirname "$0")/.."

scale=${1:-0.05}
build=${LUMIVOR_VALGRIND_BUILD:-build/valgrind}
jobs=${LUMIVOR_JOBS:-2}
if ! command -v valgrind >/dev/null 2>&1; then
    echo "soak-valgrind.sh: valgrind is not installed (apt-get install valgrind)" >&2
    exit 2
fi
ticks=$(awk -v s="$scale" 'BEGIN { t = int(2000 * s); print (t < 2 ? 2 : t) }')

# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_WERROR=ON \
      -DLUMIVOR_BUILD_HOST=OFF -DLUMIVOR_BUILD_BENCH=OFF "-DLUMIVOR_ONLY_TEST_AREAS=support;soak" \
      ${LUMIVOR_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target saver_soak_test lumivor -j "$jobs"

vg() {
    valgrind --quiet --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect,possible \
        --suppressions=tests/soak/valgrind.supp "$@"
}

start=$(date +%s)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo "== saver view soak under valgrind (scale $scale) =="
if ! LUMIVOR_SOAK_SCALE=$scale LIBGL_ALWAYS_SOFTWARE=1 vg "$build/tests/soak/saver_soak_test" \
        >"$tmp/soak.log" 2>&1; then
    grep -E '^(==[0-9]+==|\[  FAILED|.*Failure)' "$tmp/soak.log" | head -n 60 >&2
    echo "soak-valgrind.sh: the saver view soak failed under valgrind" >&2
    exit 1
fi
grep '^soak:' "$tmp/soak.log"

echo "== every community through lumivor render --no-gl, $ticks ticks at 320x240 =="
# Runs lumivor under valgrind; shows its standard error only when it fails.
render() {
    if ! vg "$build/cli/lumivor" render --no-gl "$@" >/dev/null 2>"$tmp/render.err"; then
        grep -v '^Biotope::HabitatRGBtoHSL\|^InitCommunity\|^community' "$tmp/render.err" >&2
        echo "soak-valgrind.sh: lumivor render $* failed under valgrind" >&2
        exit 1
    fi
}
for preset in 0 1 2 3 4 5 6 7 8 9; do
    seed=$((1765000000 + 37 * preset))
    render --preset "$preset" --seed "$seed" --size 320x240 --ticks "$ticks" \
        --habitat "$tmp/p$preset.ppm" --final-state
    render --preset "$preset" --seed "$seed" --start-from "$tmp/p$preset.ppm" \
        --ticks "$ticks" --habitat "$tmp/p$preset-2.ppm"
    echo "community $preset: clean"
done
echo "soak-valgrind.sh: no memory errors or leaks ($(( $(date +%s) - start )) s)"
