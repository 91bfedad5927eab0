#!/bin/sh
# Whole-process A/B of the walks against another commit: builds COMMIT (its
# lumivor only, release, in a temporary folder), checks that both programs
# render every community byte for byte alike, then times
#   lumivor render --no-gl --ticks TICKS --size 1920x1080 --final-state --preset N
# for N = 0..9 (with --seed 1765000000, so that both compute the same picture,
# and --quiet), the two programs interleaved run by run so that both see the
# same load on a shared machine. Each pair of runs (old and new, one after the
# other) gives a ratio of CPU seconds (user + system) and one of wall seconds;
# for each community it prints the median of its ratios over the rounds as a
# speed-up, and at the end the median speed-up over the ten communities.
#
# Usage: bench/walk_ab.sh COMMIT [path/to/lumivor] [rounds, default 3] [ticks, default 1500]
# LUMIVOR_OLD names a program already built from COMMIT, which is then not built again.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: bench/walk_ab.sh COMMIT [path/to/lumivor] [rounds] [ticks]" >&2
    exit 2
fi
COMMIT=$1
NEW=${2:-build/release/cli/lumivor}
ROUNDS=${3:-3}
TICKS=${4:-1500}
SEED=1765000000
if [ ! -x "$NEW" ]; then
    echo "walk_ab.sh: no program at $NEW" >&2
    exit 1
fi

# Beside the other builds where there are any: a compiler cache whose base
# folder holds them then finds the other commit's objects.
mkdir -p build
work=$(mktemp -d "$PWD/build/walk_ab.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ -n "${LUMIVOR_OLD:-}" ]; then
    cp "$LUMIVOR_OLD" "$work/lumivor.old"
else
    echo "building $COMMIT in $work"
    git archive --format=tar "$COMMIT" | tar -x -C "$work" || {
        echo "walk_ab.sh: cannot export $COMMIT" >&2
        exit 1
    }
    launcher=
    command -v ccache >/dev/null && launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    # shellcheck disable=SC2086 # no launcher is no word
    cmake -S "$work" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER="${CC:-clang}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" $launcher \
        >"$work/configure.log" 2>&1 || {
        cat "$work/configure.log" >&2
        exit 1
    }
    nice cmake --build "$work/build" -j"$(nproc)" --target lumivor >"$work/build.log" 2>&1 || {
        tail -n 30 "$work/build.log" >&2
        exit 1
    }
    cp "$work/build/cli/lumivor" "$work/lumivor.old"
fi
OLD=$work/lumivor.old
# A copy, so that a rebuild meanwhile does not change the program measured.
cp "$NEW" "$work/lumivor.new"
NEW=$work/lumivor.new

run() { # run PROGRAM PRESET [extra options]: the render, its final state on stdout
    program=$1 preset=$2
    shift 2
    "$program" render --no-gl --ticks "$TICKS" --size 1920x1080 --final-state --quiet \
        --seed "$SEED" --preset "$preset" "$@"
}

for preset in 0 1 2 3 4 5 6 7 8 9; do
    run "$OLD" "$preset" --habitat "$work/old.ppm" >"$work/old.out"
    run "$NEW" "$preset" --habitat "$work/new.ppm" >"$work/new.out"
    if ! cmp -s "$work/old.out" "$work/new.out" || ! cmp -s "$work/old.ppm" "$work/new.ppm"; then
        echo "walk_ab.sh: community $preset renders differently" >&2
        exit 1
    fi
done
echo "all ten communities byte-identical ($TICKS ticks, seed $SEED)"

: >"$work/times"
round=1
while [ "$round" -le "$ROUNDS" ]; do
    for preset in 0 1 2 3 4 5 6 7 8 9; do
        # Which program goes first alternates, so neither always runs warm.
        order="old new"
        [ $(((round + preset) % 2)) -eq 0 ] && order="new old"
        for which in $order; do
            program=$OLD
            [ "$which" = new ] && program=$NEW
            /usr/bin/time -f "$which $preset %U %S %e" -a -o "$work/times" \
                "$program" render --no-gl --ticks "$TICKS" --size 1920x1080 --final-state \
                --quiet --seed "$SEED" --preset "$preset" >/dev/null
        done
    done
    round=$((round + 1))
done

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v rounds="$ROUNDS" '
    function median(a, n,    i, j, t) {
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    { k = $2 SUBSEP (++seen[$1, $2]); cpu[$1, k] = $3 + $4; wall[$1, k] = $5 }
    END {
        for (p = 0; p < 10; p++) {
            for (r = 1; r <= rounds; r++) {
                k = p SUBSEP r
                c[r] = cpu["old", k] / cpu["new", k]; w[r] = wall["old", k] / wall["new", k]
                oc[r] = cpu["old", k]; nc[r] = cpu["new", k]
            }
            s[p + 1] = median(c, rounds); sw[p + 1] = median(w, rounds)
            printf "community %d: CPU %.2f s -> %.2f s (medians), speed-up %+.1f %%, wall %+.1f %%\n",
                p, median(oc, rounds), median(nc, rounds), 100 * (s[p + 1] - 1), 100 * (sw[p + 1] - 1)
        }
        printf "median speed-up over the ten communities: %+.1f %% CPU time, %+.1f %% wall (%d rounds)\n",
            100 * (median(s, 10) - 1), 100 * (median(sw, 10) - 1), rounds
    }' "$work/times"
