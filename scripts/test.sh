#!/bin/sh
# The test command: installs what is missing, then runs its parts in order and
# stops at the first that fails. Its output (standard output and error
# together) is also kept in build/test.log; a failure ends with what failed:
# the part, the failing tests' names and the first failure message.
#
#   scripts/test.sh              every part (what CI runs)
#   scripts/test.sh --quick      the two builds and their suites, and every host
#   scripts/test.sh --clean-room what the clean room runs: the release build and
#                                its suite, the Debian package and every host
#   scripts/test.sh PART...      the parts named (see `parts` below)
set -eu
cd "$(dirname "$0")/.."

all="packages format release sanitize determinism soak fuzz package web windows wayland desktops bench clean-room"
case "${1:-}" in
    "") parts=$all ;;
    --quick) parts="packages format release sanitize web windows wayland" ;;
    --clean-room) parts="packages release package web windows wayland" ;;
    -*) echo "usage: scripts/test.sh [--quick | --clean-room | PART...]" >&2; exit 2 ;;
    *) parts=$* ;;
esac

# The parts run in a second instance whose output goes to the log, shown as it
# grows until that instance ends (a process it left behind cannot hold the
# command open); a failure then ends with the summary.
if [ -z "${LUMIVOR_TEST_LOG:-}" ]; then
    mkdir -p build
    export LUMIVOR_TEST_LOG="$PWD/build/test.log" PYTHONUNBUFFERED=1
    : >"$LUMIVOR_TEST_LOG"
    # shellcheck disable=SC2086
    "$0" $parts >>"$LUMIVOR_TEST_LOG" 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null' INT TERM HUP
    tail -n +1 -f --pid="$pid" "$LUMIVOR_TEST_LOG"
    status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        scripts/first-failure.sh "$LUMIVOR_TEST_LOG" >&2 || true
        echo "full log: $LUMIVOR_TEST_LOG" >&2
    fi
    exit "$status"
fi

jobs=$(nproc 2>/dev/null || echo 2)
export LUMIVOR_JOBS="$jobs"
release="-DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++"
# Mesa's drivers keep some memory for the life of the process; only those
# libraries are suppressed.
sanitizer_env="ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp"

# The parts. The release build is the run command's (Clang) with tests and
# benchmarks; the sanitizer build (address + undefined behaviour) uses GCC.
part() {
    case $1 in
        packages) scripts/deps.sh test ;;
        format) scripts/format-check.sh ;;
        release)
            # shellcheck disable=SC2086
            cmake -S . -B build/release $release -DLUMIVOR_WERROR=ON \
                -DLUMIVOR_BUILD_TESTS=ON -DLUMIVOR_BUILD_BENCH=ON &&
                cmake --build build/release -j "$jobs" &&
                ctest --test-dir build/release --output-on-failure --no-tests=error -j "$jobs" ;;
        sanitize)
            cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_WERROR=ON \
                -DLUMIVOR_SANITIZE=ON -DLUMIVOR_BUILD_BENCH=OFF &&
                cmake --build build/sanitize -j "$jobs" &&
                env $sanitizer_env \
                    ctest --test-dir build/sanitize --output-on-failure --no-tests=error -j "$jobs" ;;
        determinism) scripts/determinism.sh ;;  # GCC and Clang at -O0 and -O3, every reference run
        soak) scripts/soak-valgrind.sh ;;       # under valgrind memcheck
        fuzz) scripts/fuzz.sh 30 ;;             # 30 s per target from the kept corpora
        package) scripts/package.sh ;;          # build, check and run the Debian package
        web) scripts/web.sh test ;;             # WebAssembly, in Chromium, Firefox and WebKit
        windows) scripts/windows.sh test ;;     # cross build, tests under Wine
        wayland)                                # headless sway and weston, both builds
            tests/wayland/wayland_test.sh build/release/cli/lumivor &&
                if [ -x build/sanitize/cli/lumivor ]; then
                    env $sanitizer_env tests/wayland/wayland_test.sh build/sanitize/cli/lumivor
                fi ;;
        desktops)                               # headless KWin and mutter, their own packages
            scripts/deps.sh desktops && tests/wayland/desktops_test.sh build/release/cli/lumivor ;;
        bench) build/release/bench/lumivor_bench --benchmark_min_time=0.05 || true ;;  # figures only
        clean-room) scripts/fresh_check.py ;;   # both commands on fresh Debian 12 and 13 roots
        *) echo "scripts/test.sh: no part '$1' (parts: $all)" >&2; return 2 ;;
    esac
}

began=$(date +%s)
for name in $parts; do
    echo "== $name ($(($(date +%s) - began)) s in)"
    part "$name"
done
echo "lumivor: all tests passed in $(($(date +%s) - began)) s"
