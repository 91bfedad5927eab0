# shellcheck shell=sh
# What the two Wayland scripts share (sourced): the checks of tests/support/checks.sh,
# a work folder cleaned up at the end with the processes started, the saver of the
# test's seed and ticks in the background, and the render's reference pictures.
# Every wait is for a condition, with a limit of two minutes.

# shellcheck source=tests/support/checks.sh
. "$(dirname "$0")/../support/checks.sh"

# begin NAME LUMIVOR: the program under test ($lumivor, an absolute path), the run's
# $seed and $ticks, and a new work folder ($work) that the end removes, once every
# process in $pids has been signalled and waited for. No display is inherited.
begin() {
    lumivor=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    seed=1765000000 ticks=40 pids=""
    work=$(mktemp -d "${TMPDIR:-/tmp}/lumivor-$1.XXXXXX")
    trap end_work EXIT
    trap 'exit 130' INT TERM
    unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET
}
end_work() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done  # none writes in $work any more
    rm -rf "$work"
}

# wait_until WHAT COMMAND...: COMMAND succeeds within two minutes, or that is a failure
# (in one full test run the sanitizer build's picture on an added output took longer
# than one).
wait_until() {
    what=$1
    shift
    before 120 "$@" || { fail "no $what within two minutes"; return 1; }
}

# spawn COMMAND...: COMMAND in the background, its id in $spawned and in $pids.
spawn() {
    "$@" &
    spawned=$!
    pids="$pids $spawned"
}
# reap PID: finish PID 60 (its status in $status), and the id is forgotten: the end
# signals only processes not yet waited for, never an id the system may have reused.
reap() {
    finish "$1" 60
    pids=$(for pid in $pids; do [ "$pid" = "$1" ] || echo "$pid"; done)
}
# stop PID...: SIGTERM to each (it may have ended), then its end.
stop() { for pid; do kill "$pid" 2>/dev/null || true; reap "$pid"; done; }

# start_saver NAME ARGUMENT...: lumivor with the ARGUMENTs in the background ($saver),
# its habitat to NAME.ppm, its messages and its requests and events (lines that start
# with "[") to NAME.log.
start_saver() {
    name=$1
    shift
    spawn env WAYLAND_DEBUG=client "$lumivor" "$@" --seed "$seed" --ticks "$ticks" \
        --habitat "$work/$name.ppm" >/dev/null 2>"$work/$name.log" 3>&-
    # shellcheck disable=SC2034 # the caller's
    saver=$spawned
}

# ended STATUS NAME WxH WHAT...: the saver NAME ended with STATUS and its habitat is the
# render's of that size (ref-WxH.ppm).
ended() {
    want=$1 got=$work/$2.ppm ref=$work/ref-$3.ppm log=$work/$2.log
    shift 3
    [ "$status" = "$want" ] && cmp -s "$got" "$ref" || fail "$*: status $status, habitat" \
        "$(cmp "$got" "$ref" 2>&1), said '$(grep -v '^\[' "$log" | tail -n 5)'"
}

# says STATUS TEXT COMMAND...: COMMAND ends with STATUS and says TEXT (its messages in
# says.log).
says() {
    want=$1 text=$2
    shift 2
    status=0
    "$@" >/dev/null 2>"$work/says.log" || status=$?
    [ "$status" -eq "$want" ] && grep -q "$text" "$work/says.log" ||
        fail "$*: status $status, said '$(cat "$work/says.log")'"
}

# reference W H: the render's habitat of that size (ref-WxH.ppm) and its pixels, the raw
# RGB bytes a capture of an output of that size must be (ref-WxH.rgb).
reference() {
    "$lumivor" render --no-gl --quiet --seed "$seed" --size "$1x$2" --ticks "$ticks" \
        --habitat "$work/ref-$1x$2.ppm" >/dev/null || die "lumivor render failed"
    tail -c $(($1 * $2 * 3)) "$work/ref-$1x$2.ppm" >"$work/ref-$1x$2.rgb"
}
