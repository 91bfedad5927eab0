# shellcheck shell=sh
# Shared by the end-to-end shell scripts (sourced): failures counted, and waits for a
# condition or a process that never depend on how fast the machine is.

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
