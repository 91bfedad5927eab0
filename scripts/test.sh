#!/bin/sh
# The test command: installs what is missing, builds a release build and a
# sanitizer build (address + undefined behaviour) with warnings as errors, and
# runs the whole suite on both.
set -eu
cd "$(dirname "$0")/.."

scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUMIVOR_WERROR=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_WERROR=ON \
      -DLUMIVOR_SANITIZE=ON -DLUMIVOR_BUILD_BENCH=OFF
cmake --build build/sanitize -j "$jobs"
# Mesa's drivers keep some memory for the life of the process; only those
# libraries are suppressed.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp" \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

if [ -x build/release/bench/lumivor_bench ]; then
    echo "== benchmark (short run, figures only) =="
    build/release/bench/lumivor_bench --benchmark_min_time=0.05 || true
fi
echo "lumivor: all tests passed"
