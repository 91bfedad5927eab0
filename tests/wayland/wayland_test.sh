#!/bin/sh
# The Wayland host against real compositors, headless with software rendering:
#   1. sway (wlr-layer-shell): the overlay shows exactly the picture of
#      `lumivor render --no-gl` of the same seed, size and ticks (read back with
#      grim), again after the output is resized, and on an output added; a key
#      ends it with status 0 and the habitat saved;
#   2. swayidle with a one-second timeout starts it; SIGTERM ends it with the habitat saved;
#   3. the compositor going away ends it with status 1 and the habitat saved;
#   4. weston (no layer-shell): the full-screen xdg-shell toplevel shows the same
#      picture, and SIGTERM ends it with status 0 and the habitat saved;
#   5. without a compositor: one line that names `lumivor render`.
# Every wait is for a condition (a socket, a capture, a file, an exit), with a
# minute's limit; nothing depends on how fast the machine is.
#
#   tests/wayland/wayland_test.sh path/to/lumivor      (as root: sway runs as nobody)
set -eu

lumivor=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seed=1765000000
ticks=40
if [ "$(id -u)" -ne 0 ]; then
    echo "wayland_test.sh: runs as root (sway is started as the user nobody)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lumivor-wayland.XXXXXX")
chmod 755 "$work"  # sway, as nobody, reads its configuration here
pids=""
cleanup() {
    # The saver swayidle started is no child of this script.
    [ ! -s "$work/idle.pid" ] || pids="$pids $(cat "$work/idle.pid")"
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
unset DISPLAY WAYLAND_DISPLAY

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
die() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_until WHAT COMMAND...: runs COMMAND every tenth of a second until it succeeds.
wait_until() {
    what=$1
    shift
    i=0
    until "$@"; do
        i=$((i + 1))
        [ "$i" -lt 600 ] || { fail "no $what within a minute"; return 1; }
        sleep 0.1
    done
}

# finish PID: waits up to a minute for PID to end and sets $status (124: killed).
finish() {
    i=0
    while kill -0 "$1" 2>/dev/null && [ "$i" -lt 600 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    kill -0 "$1" 2>/dev/null && kill "$1"
    status=0
    wait "$1" || status=$?
}

# The reference habitat of a size, and the PPM a capture of it must be: the same
# pixels under a header without the habitat's comment line.
reference() {
    "$lumivor" render --no-gl --quiet --seed "$seed" --size "$1x$2" --ticks "$ticks" \
        --habitat "$work/ref-$1x$2.ppm" >/dev/null || die "lumivor render failed"
    { printf 'P6\n%d %d\n255\n' "$1" "$2"; tail -c $(($1 * $2 * 3)) "$work/ref-$1x$2.ppm"; } \
        >"$work/shot-$1x$2.ppm"
}
reference 320 240
reference 400 300

# --- sway -------------------------------------------------------------------
mkdir -m 700 "$work/sway-run"
chown nobody:nogroup "$work/sway-run"
echo "output HEADLESS-1 resolution 320x240" >"$work/sway.conf"
env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$work/sway-run" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    setpriv --reuid=nobody --regid=nogroup --clear-groups sway -c "$work/sway.conf" \
    >"$work/sway.log" 2>&1 &
sway_pid=$!
pids="$pids $sway_pid"
export XDG_RUNTIME_DIR="$work/sway-run"
sway_socket() {
    for socket in "$XDG_RUNTIME_DIR"/wayland-[0-9]; do WAYLAND_DISPLAY=${socket##*/}; done
    for socket in "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; do SWAYSOCK=$socket; done
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && [ -S "$SWAYSOCK" ]
}
wait_until "sway socket" sway_socket || { cat "$work/sway.log" >&2; die "sway did not start"; }
export WAYLAND_DISPLAY SWAYSOCK

# shows W H [OUTPUT]: the output, captured, is the reference picture of that size.
shows() {
    grim -o "${3:-HEADLESS-1}" -t ppm "$work/capture.ppm" 2>"$work/grim.log" &&
        cmp -s "$work/capture.ppm" "$work/shot-$1x$2.ppm"
}

# 1. The overlay is exact, follows the output's size, and a key ends it. The key
# is typed only once the saver holds the keyboard: wtype's virtual keyboard is the
# seat's only one, so the saver asks for it after wtype starts, and a key typed
# before that request reaches the compositor would be lost.
WAYLAND_DEBUG=client "$lumivor" --wayland --quiet --seed "$seed" --ticks "$ticks" \
    --habitat "$work/key.ppm" >/dev/null 2>"$work/key.log" &
saver=$!
pids="$pids $saver"
if wait_until "overlay picture at 320x240" shows 320 240; then
    pass "sway: the overlay shows the render's picture"
else  # what the saver, grim and sway said
    tail -n 20 "$work/key.log" "$work/grim.log" "$work/sway.log" >&2
fi
swaymsg output HEADLESS-1 resolution 400x300 >/dev/null || fail "swaymsg cannot resize the output"
wait_until "overlay picture at 400x300" shows 400 300 &&
    pass "sway: after a resize, the render's picture of the new size"
if ! swaymsg create_output >/dev/null || ! swaymsg output HEADLESS-2 resolution 400x300 >/dev/null; then
    fail "swaymsg cannot add an output"
fi
wait_until "overlay picture on an added output" shows 400 300 HEADLESS-2 &&
    pass "sway: an output added is covered too"
mkfifo "$work/keys"
wtype - <"$work/keys" &
wtype_pid=$!
pids="$pids $wtype_pid"
exec 3>"$work/keys"
has_keyboard() { grep -q 'wl_keyboard@[0-9]*\.enter' "$work/key.log"; }
wait_until "keyboard focus" has_keyboard
printf x >&3
exec 3>&-
finish "$saver"
if [ "$status" -eq 0 ] && cmp -s "$work/key.ppm" "$work/ref-400x300.ppm"; then
    pass "sway: a key ends it with status 0 and the habitat saved"
else
    fail "sway: after a key, status $status and the habitat $(cmp "$work/key.ppm" "$work/ref-400x300.ppm" 2>&1)"
fi
finish "$wtype_pid"

# Each saver below starts once the last one's picture has left the output.
cleared() { ! shows 400 300; }

# 2. Started by the idle daemon; ended by SIGTERM, as a daemon ends it.
wait_until "output cleared of the last saver" cleared
swayidle -w timeout 1 "echo \$\$ >'$work/idle.pid'; exec '$lumivor' --wayland --quiet \
--seed $seed --ticks $ticks --habitat '$work/idle.ppm' >/dev/null" >"$work/swayidle.log" 2>&1 &
idle_pid=$!
pids="$pids $idle_pid"
started() { [ -s "$work/idle.pid" ]; }
if wait_until "saver started by swayidle" started &&
    wait_until "picture from the saver swayidle starts" shows 400 300; then
    pass "sway: swayidle starts the saver"
    kill -TERM "$(cat "$work/idle.pid")"
    saved() { cmp -s "$work/idle.ppm" "$work/ref-400x300.ppm"; }
    wait_until "habitat saved at SIGTERM" saved && pass "sway: SIGTERM saves the habitat"
fi
kill "$idle_pid"
finish "$idle_pid"

# 3. The compositor goes away.
wait_until "output cleared of the last saver" cleared
"$lumivor" --wayland --quiet --seed "$seed" --ticks "$ticks" --habitat "$work/lost.ppm" \
    >/dev/null 2>"$work/lost.log" &
saver=$!
pids="$pids $saver"
wait_until "picture before sway ends" shows 400 300
kill "$sway_pid"
finish "$saver"
if [ "$status" -eq 1 ] && cmp -s "$work/lost.ppm" "$work/ref-400x300.ppm" &&
    grep -q "Wayland compositor" "$work/lost.log"; then
    pass "sway gone: status 1, said so, and the habitat saved"
else
    fail "sway gone: status $status, said '$(cat "$work/lost.log")', habitat $(cmp "$work/lost.ppm" "$work/ref-400x300.ppm" 2>&1)"
fi
finish "$sway_pid"

# --- weston: no layer-shell, so a full-screen toplevel -------------------------
mkdir -m 700 "$work/weston-run" "$work/shots"
export XDG_RUNTIME_DIR="$work/weston-run" WAYLAND_DISPLAY=lumivor-test
weston --backend=headless-backend.so --use-pixman --width=320 --height=240 \
    --socket="$WAYLAND_DISPLAY" --idle-time=0 --no-config --debug >"$work/weston.log" 2>&1 &
weston_pid=$!
pids="$pids $weston_pid"
weston_up() { [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
wait_until "weston socket" weston_up || { cat "$work/weston.log" >&2; die "weston did not start"; }
"$lumivor" --wayland --quiet --seed "$seed" --ticks "$ticks" --habitat "$work/weston.ppm" \
    >/dev/null 2>"$work/weston-saver.log" &
saver=$!
pids="$pids $saver"
# weston's screenshooter writes a PNG named by the time into the current folder.
weston_shows() {
    rm -f "$work"/shots/*.png
    (cd "$work/shots" && weston-screenshooter >/dev/null 2>&1) &&
        convert "$work"/shots/*.png -depth 8 "ppm:$work/capture.ppm" 2>/dev/null &&
        cmp -s "$work/capture.ppm" "$work/shot-320x240.ppm"
}
wait_until "full-screen picture on weston" weston_shows &&
    pass "weston: the full-screen toplevel shows the render's picture"
kill -TERM "$saver"
finish "$saver"
if [ "$status" -eq 0 ] && cmp -s "$work/weston.ppm" "$work/ref-320x240.ppm"; then
    pass "weston: SIGTERM ends it with status 0 and the habitat saved"
else
    fail "weston: after SIGTERM, status $status, habitat $(cmp "$work/weston.ppm" "$work/ref-320x240.ppm" 2>&1)"
fi
kill "$weston_pid"
finish "$weston_pid"

# --- no compositor ------------------------------------------------------------
status=0
XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-none "$lumivor" --wayland --ticks 1 \
    >/dev/null 2>"$work/none.log" || status=$?
if [ "$status" -eq 1 ] && [ "$(wc -l <"$work/none.log")" -eq 1 ] &&
    grep -q "'lumivor render'" "$work/none.log"; then
    pass "no compositor: one line naming lumivor render"
else
    fail "no compositor: status $status, said '$(cat "$work/none.log")'"
fi

[ "$failures" -eq 0 ] || { echo "wayland_test.sh: $failures failed" >&2; exit 1; }
echo "wayland_test.sh: all passed"
