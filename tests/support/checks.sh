# shellcheck shell=sh
# Shared by the end-to-end shell scripts and the benchmarks (sourced): failures counted,
# waits for a condition or a process that never depend on how fast the machine is, and
# a headless sway.

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# die MESSAGE [LOG]: a failure that ends the tests, after the log that says why.
die() {
    [ -z "${2:-}" ] || cat "$2" >&2
    fail "$1"
    exit 1
}

# within SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds;
# false when it has not within SECONDS.
within() {
    n=$(($1 * 10))
    shift
    until "$@"; do
        [ "$n" -gt 0 ] || return 1
        n=$((n - 1))
        sleep 0.1
    done
}
gone() { ! kill -0 "$1" 2>/dev/null; }

# finish PID SECONDS: waits up to SECONDS for process PID and sets $status to its exit
# status; a process still running then is killed (status 143).
# shellcheck disable=SC2034 # $status is the caller's
finish() {
    within "$2" gone "$1" || kill "$1" 2>/dev/null || true
    status=0
    wait "$1" 2>/dev/null || status=$?
}

# before SECONDS COMMAND...: like within, for a COMMAND that may itself take a while
# (a capture that waits for a frame): the limit is on the clock, not on the tries.
before() {
    end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# start_sway DIR SIZE: a headless sway with software rendering and no input devices,
# run as the user nobody (it refuses root), with one output HEADLESS-1 of SIZE (WxH);
# its configuration, log (sway.log) and runtime folder (run) in the new folder DIR.
# Sets sway_pid (the caller ends it) and exports XDG_RUNTIME_DIR, WAYLAND_DISPLAY and
# SWAYSOCK once its sockets are there; false, after its log, when they are not within
# a minute.
start_sway() {
    mkdir -m 755 "$1" && mkdir -m 700 "$1/run" && chown nobody:nogroup "$1/run"
    echo "output HEADLESS-1 resolution $2" >"$1/sway.conf"
    env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$1/run" \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        setpriv --reuid=nobody --regid=nogroup --clear-groups sway -c "$1/sway.conf" \
        >"$1/sway.log" 2>&1 &
    # shellcheck disable=SC2034 # the caller's
    sway_pid=$!
    export XDG_RUNTIME_DIR="$1/run" WAYLAND_DISPLAY='' SWAYSOCK=''
    within 60 sway_sockets || { cat "$1/sway.log" >&2; return 1; }
}
sway_sockets() {
    for socket in "$XDG_RUNTIME_DIR"/wayland-[0-9]; do WAYLAND_DISPLAY=${socket##*/}; done
    for socket in "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; do SWAYSOCK=$socket; done
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && [ -S "$SWAYSOCK" ]
}

# verdict NAME: the script's last words, and status 1 after any failure.
verdict() {
    [ "$failures" -eq 0 ] || { echo "$1: $failures failed" >&2; exit 1; }
    echo "$1: all passed"
}
