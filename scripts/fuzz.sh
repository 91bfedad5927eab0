#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, address + undefined sanitizers)
# and runs each for SECONDS (default 60), one after the other.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   targets: habitat bmp picture_png picture_bmp
#                                           file_writer args windows_args
#   scripts/fuzz.sh --runs N [TARGET...]    each target for exactly N executions
#                                           (the long runs: --runs 10000000)
#
# Each run starts from the corpus kept in fuzz/corpus/TARGET (grown by long
# runs and minimised); inputs the fuzzer finds interesting are kept in the
# build folder's corpus/ between runs. A crash, leak, hang,
# out-of-bounds access or failed check is saved under fuzz/findings/ and makes
# the script exit 1; reproduce one with: build/fuzz/fuzz/fuzz_TARGET FILE
# Environment: LUMIVOR_FUZZ_BUILD (build folder, default build/fuzz),
# LUMIVOR_JOBS (build jobs, default 2), LUMIVOR_CMAKE_ARGS (extra configure
# arguments).
set -eu
cd "$(dirname "$0")/.."

# How long each target runs: SECONDS of time, or N executions.
if [ "${1:-}" = --runs ]; then
    [ $# -ge 2 ] || { echo "fuzz.sh: --runs needs a number" >&2; exit 2; }
    amount=$2 unit=executions
    shift 2
else
    amount=${1:-60} unit=s
    [ $# -gt 0 ] && shift
fi
all_targets="habitat bmp picture_png picture_bmp file_writer args windows_args"
targets=${*:-$all_targets}
build=${LUMIVOR_FUZZ_BUILD:-build/fuzz}
case $build in /*) ;; *) build=$PWD/$build ;; esac
jobs=${LUMIVOR_JOBS:-2}
findings=$PWD/fuzz/findings

case $amount in
    ''|*[!0-9]*) echo "fuzz.sh: the length must be a whole number, not '$amount'" >&2; exit 2 ;;
esac
if [ "$unit" = s ]; then limit=-max_total_time=$amount; else limit=-runs=$amount; fi

# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVOR_FUZZ=ON -DLUMIVOR_WERROR=ON \
      -DLUMIVOR_BUILD_HOST=OFF -DLUMIVOR_BUILD_TESTS=OFF -DLUMIVOR_BUILD_BENCH=OFF \
      ${LUMIVOR_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target fuzz_all -j "$jobs"
mkdir -p "$findings" "$build/tmp"
# Scratch files of the targets stay inside the build folder.
TMPDIR=$build/tmp
export TMPDIR

# Number of saved findings of target $1.
count_findings() {
    n=0
    for f in "$findings/$1"-*; do
        [ -e "$f" ] && n=$((n + 1))
    done
    echo "$n"
}

status=0
summary=""
for t in $targets; do
    bin=$build/fuzz/fuzz_$t
    if [ ! -x "$bin" ]; then
        echo "fuzz.sh: no target '$t' (one of: $all_targets)" >&2
        exit 2
    fi
    corpus=$build/corpus/$t
    mkdir -p "$corpus"
    dict=""
    [ -f "fuzz/$t.dict" ] && dict="-dict=fuzz/$t.dict"
    kept=""
    [ -d "fuzz/corpus/$t" ] && kept="fuzz/corpus/$t"
    before=$(count_findings "$t")
    log=$build/fuzz-$t.log
    echo "== fuzz_$t: $amount $unit =="
    # Stdout and stderr of the code under test go to /dev/null (close_fd_mask);
    # libFuzzer and the sanitizers still report on the original stderr.
    # shellcheck disable=SC2086
    if "$bin" "$limit" -print_final_stats=1 -close_fd_mask=3 \
            -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$findings/$t-" $dict "$corpus" $kept \
            >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
    after=$(count_findings "$t")
    found=$((after - before))
    if [ "$result" = FAILED ]; then
        [ "$found" -gt 0 ] || found="?"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|.*runtime error)' \
            "$log" | head -n 12 >&2 || true
        echo "   full log: $log" >&2
    fi
    summary="$summary$(printf '%-12s %-7s executions %-10s edges %-6s findings %s' \
        "$t" "$result" "${runs:-?}" "${edges:-?}" "$found")
"
done
rm -rf "$build/tmp"
echo "== fuzz summary ($amount $unit per target) =="
printf '%s' "$summary"
exit $status
