#!/bin/sh
# The run command: installs what is missing, builds, and runs the saver in a
# window when a display is available, otherwise renders one minute to a PNG.
set -eu
cd "$(dirname "$0")/.."

scripts/deps.sh run
# Tests and benchmarks are the test command's; their libraries are not installed here.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUMIVOR_BUILD_TESTS=OFF \
      -DLUMIVOR_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target lumivor

if [ -n "${DISPLAY:-}" ]; then
    exec build/release/cli/lumivor "$@"
fi
out="${PWD}/lumivor.png"
build/release/cli/lumivor render --quiet --minutes 1 --png "$out" "$@"
echo "lumivor: no display; rendered one minute of the saver to $out"
