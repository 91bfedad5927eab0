#!/bin/sh
# Determinism across builds: builds lumivor with GCC and Clang at -O0 and -O3
# (separate build folders, simulation only) and checks that every build
# reproduces every reference run byte for byte: the habitat file, standard
# error, standard output (ours has its "Biotope::SaveHabitat(path)" line
# before the final-state line, which the reference lacks) and, where the
# reference has one, the trace of every bot step. Exit 1 on any difference.
#
#   scripts/determinism.sh
# Environment: LUMIVOR_GOLDEN_DIR (reference runs, default ../shared/golden),
# LUMIVOR_DETERMINISM_BUILD (parent of the build folders, default
# build/determinism), LUMIVOR_JOBS (build jobs, default 2), LUMIVOR_CMAKE_ARGS.
set -eu
cd "$(dirname "$0")/.."

golden=${LUMIVOR_GOLDEN_DIR:-../shared/golden}
base=${LUMIVOR_DETERMINISM_BUILD:-build/determinism}
jobs=${LUMIVOR_JOBS:-2}
if [ ! -f "$golden/cases.tsv" ]; then
    echo "determinism.sh: no reference runs at $golden" >&2
    exit 2
fi
start=$(date +%s)

# Compares one build's run of a case with the reference; prints what differs.
# (Variables are global in sh: the c_ prefix keeps them apart from the loop's.)
check_case() {
    c_bin=$1 c_dir=$2 c_name=$3 c_preset=$4 c_seed=$5 c_size=$6 c_ticks=$7
    c_ppm=$c_dir/$c_name.ppm
    c_trace=""
    [ -f "$golden/$c_name.trace" ] && c_trace="--trace $c_dir/$c_name.trace"
    # shellcheck disable=SC2086
    if ! "$c_bin" render --no-gl --preset "$c_preset" --seed "$c_seed" --size "$c_size" \
            --ticks "$c_ticks" --habitat "$c_ppm" --final-state $c_trace \
            >"$c_dir/$c_name.out" 2>"$c_dir/$c_name.err"; then
        echo "$c_name: lumivor failed"
        return 1
    fi
    c_bad=""
    cmp -s "$c_ppm" "$golden/$c_name.ppm" || c_bad="$c_bad habitat"
    cmp -s "$c_dir/$c_name.err" "$golden/$c_name.err" || c_bad="$c_bad stderr"
    c_lines=$(wc -l <"$c_dir/$c_name.out")
    c_save=$(sed -n "$((c_lines - 1))p" "$c_dir/$c_name.out")
    if [ "$c_lines" -lt 2 ] || [ "$c_save" != "Biotope::SaveHabitat($c_ppm)" ]; then
        c_bad="$c_bad save-line"
    else
        sed "$((c_lines - 1))d" "$c_dir/$c_name.out" | cmp -s - "$golden/$c_name.out" ||
            c_bad="$c_bad stdout"
    fi
    if [ -n "$c_trace" ]; then
        cmp -s "$c_dir/$c_name.trace" "$golden/$c_name.trace" || c_bad="$c_bad trace"
    fi
    if [ -n "$c_bad" ]; then
        echo "$c_name: differs in$c_bad"
        return 1
    fi
    return 0
}

status=0
summary=""
for compiler in gcc clang; do
    case $compiler in
        gcc) cc=gcc cxx=g++ ;;
        clang) cc=clang cxx=clang++ ;;
    esac
    for opt in O0 O3; do
        build=$base/$compiler-$opt
        echo "== $compiler -$opt =="
        # shellcheck disable=SC2086
        cmake -S . -B "$build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
              -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="-$opt" -DCMAKE_CXX_FLAGS="-$opt" \
              -DLUMIVOR_BUILD_HOST=OFF -DLUMIVOR_BUILD_TESTS=OFF -DLUMIVOR_BUILD_BENCH=OFF \
              ${LUMIVOR_CMAKE_ARGS:-} >/dev/null
        cmake --build "$build" --target lumivor -j "$jobs" >"$build/build.log" 2>&1 || {
            tail -n 30 "$build/build.log" >&2
            echo "determinism.sh: the $compiler -$opt build failed" >&2
            exit 1
        }
        out=$build/golden-out
        rm -rf "$out"
        mkdir -p "$out"
        total=0 differing=0
        # Cases: name, preset, seed, size, ticks; the first line is the header.
        tab=$(printf '\t')
        while IFS="$tab" read -r name preset seed size ticks; do
            [ -n "$name" ] || continue
            total=$((total + 1))
            check_case "$PWD/$build/cli/lumivor" "$PWD/$out" "$name" "$preset" "$seed" \
                "$size" "$ticks" || differing=$((differing + 1))
        done <<CASES
$(tail -n +2 "$golden/cases.tsv")
CASES
        [ "$differing" -eq 0 ] || status=1
        summary="$summary$(printf '%-6s -%s  %d cases, %d differing' "$compiler" "$opt" \
            "$total" "$differing")
"
    done
done
echo "== determinism summary ($(( $(date +%s) - start )) s) =="
printf '%s' "$summary"
[ "$status" -eq 0 ] && echo "determinism.sh: every build reproduces every reference run"
exit $status
