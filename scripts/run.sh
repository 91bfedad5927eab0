#!/bin/sh
# The run command: installs what is missing, builds, and runs the saver in a
# window when a display is available, otherwise renders one minute to a PNG.
# Arguments go to lumivor as they are; without a display, the render's own
# defaults (--quiet, --minutes 1, --png lumivor.png) apply only where the
# arguments do not say otherwise, so that nothing is given twice.
set -eu
cd "$(dirname "$0")/.."

scripts/deps.sh run
# Tests and benchmarks are the test command's; their libraries are not installed here.
# Clang is the release compiler: its walks are faster than GCC's.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUMIVOR_BUILD_TESTS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DLUMIVOR_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target lumivor

if [ -n "${DISPLAY:-}" ]; then
    exec build/release/cli/lumivor "$@"
fi
out="${PWD}/lumivor.png"
length=default png=default quiet=default
for arg in "$@"; do
    case $arg in
        --ticks | -ticks | --minutes | -minutes) length=given ;;
        --png | -png) png=given ;;
        --quiet | -quiet) quiet=given ;;
    esac
done
[ "$length" = given ] || set -- --minutes 1 "$@"
[ "$png" = given ] || set -- --png "$out" "$@"
[ "$quiet" = given ] || set -- --quiet "$@"
build/release/cli/lumivor render "$@"
if [ "$png" = default ]; then
    echo "lumivor: no display; rendered the saver to $out"
fi
