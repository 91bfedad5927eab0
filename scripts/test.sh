#!/bin/sh
# The test command: installs what is missing, builds a release build and a
# sanitizer build (address + undefined behaviour) with warnings as errors, and
# runs the whole suite on both. Then the release checks: every reference run
# reproduced by GCC and Clang builds at -O0 and -O3, a soak under valgrind
# memcheck, each fuzz target for 30 seconds from its kept corpus, and the Debian
# package checked and run; the browser, Windows and Wayland hosts built and tested. Then
# a short benchmark whose figures are printed, never judged.
# Last, the clean-room check: both commands on freshly bootstrapped Debian 12 and 13.
# Its output (standard output and error together) is kept in build/test.log;
# on a failure it ends with what failed: the part, the failing tests' names
# and the first failure message (scripts/first-failure.sh).
#
#   scripts/test.sh              everything (what CI runs)
#   scripts/test.sh --quick      the two builds and their suites, and every host
#   scripts/test.sh --clean-room what the clean room runs: the release build and
#                                its suite, the Debian package and every host
set -eu
cd "$(dirname "$0")/.."

quick=false
clean_room=false
case "${1:-}" in
    --quick) quick=true ;;
    --clean-room) clean_room=true ;;
    "") ;;
    *) echo "usage: scripts/test.sh [--quick | --clean-room]" >&2; exit 2 ;;
esac

# The output goes to the terminal (or wherever it went) and to the log, through
# tee on a FIFO; the exit sums up a failure from the log.
mkdir -p build
log=$PWD/build/test.log
pipe_dir=$(mktemp -d)
mkfifo "$pipe_dir/out"
tee "$log" <"$pipe_dir/out" &
tee_pid=$!
exec 3>&1 4>&2 >"$pipe_dir/out" 2>&1
# Python writes its lines as they come, not when its buffer fills.
PYTHONUNBUFFERED=1
export PYTHONUNBUFFERED
finish() {
    status=$?
    trap - EXIT
    exec 1>&3 2>&4 3>&- 4>&-
    # tee ends once every writer is gone; a process left running with this
    # output would keep it waiting, so it gets five seconds.
    waited=0
    while kill -0 "$tee_pid" 2>/dev/null && [ "$waited" -lt 50 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill "$tee_pid" 2>/dev/null || true
    rm -rf "$pipe_dir"
    if [ "$status" -ne 0 ] && [ "$interrupted" = false ]; then
        scripts/first-failure.sh "$log" >&2 || true
        echo "full log: $log" >&2
    fi
    exit "$status"
}
interrupted=false
trap finish EXIT
trap 'interrupted=true; exit 130' INT
trap 'interrupted=true; exit 143' TERM
trap 'interrupted=true; exit 129' HUP

began=$(date +%s)
# Each part is announced with the time since the test command began.
section() { echo "== $* ($(($(date +%s) - began)) s in)"; }

section "packages: install what is missing"
scripts/deps.sh test
jobs=$(nproc 2>/dev/null || echo 2)

section "format: every C++ file follows .clang-format"
scripts/format-check.sh

section "release build and suite"
# Tests and benchmarks on, whatever the run command left in the shared build folder.
# The release build is the run command's (Clang); the sanitizer build uses GCC.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUMIVOR_WERROR=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DLUMIVOR_BUILD_TESTS=ON -DLUMIVOR_BUILD_BENCH=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure --no-tests=error -j "$jobs"

if [ "$clean_room" = false ]; then
    section "sanitizer build (address + undefined) and suite"
    cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_WERROR=ON \
          -DLUMIVOR_SANITIZE=ON -DLUMIVOR_BUILD_BENCH=OFF
    cmake --build build/sanitize -j "$jobs"
    # Mesa's drivers keep some memory for the life of the process; only those
    # libraries are suppressed.
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp" \
        ctest --test-dir build/sanitize --output-on-failure --no-tests=error -j "$jobs"
fi

if [ "$quick" = false ] && [ "$clean_room" = false ]; then
    section "determinism: GCC and Clang at -O0 and -O3 against the reference runs"
    LUMIVOR_JOBS=$jobs scripts/determinism.sh
    section "soak under valgrind memcheck"
    LUMIVOR_JOBS=$jobs scripts/soak-valgrind.sh
    section "fuzzing, 30 s per target from the kept corpora"
    LUMIVOR_JOBS=$jobs scripts/fuzz.sh 30
fi

if [ "$quick" = false ]; then
    section "Debian package: build, check, run"
    LUMIVOR_JOBS=$jobs scripts/package.sh
fi

# Hosts beyond the native ones: their builds and tests run in every form.
section "browser: WebAssembly build, tests in Node and headless Chromium"
scripts/web.sh test
section "Windows: cross build, tests under Wine"
scripts/windows.sh test
section "Wayland: the host on headless sway and weston (release, then sanitizer build)"
tests/wayland/wayland_test.sh build/release/cli/lumivor
if [ "$clean_room" = false ]; then
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp" \
        tests/wayland/wayland_test.sh build/sanitize/cli/lumivor
fi

if [ "$clean_room" = false ] && [ -x build/release/bench/lumivor_bench ]; then
    section "benchmark (short run, figures only)"
    build/release/bench/lumivor_bench --benchmark_min_time=0.05 || true
fi

if [ "$quick" = false ] && [ "$clean_room" = false ]; then
    section "clean room: both commands on freshly bootstrapped Debian 12 and 13"
    scripts/fresh_check.py
fi
echo "lumivor: all tests passed in $(($(date +%s) - began)) s"
