#!/bin/sh
# The Wayland host against real compositors, headless with software rendering:
#   1. sway (wlr-layer-shell): the overlay shows exactly the picture of
#      `lumivor render --no-gl` of the same seed, size and ticks (read back with
#      grim), again after the output is resized, and on an output added; a key
#      ends it with status 0 and the habitat saved;
#   2. swayidle with a one-second timeout starts it, and the compositor going
#      away ends it with status 1 and the habitat saved;
#   3. weston (no layer-shell): the full-screen xdg-shell toplevel shows the same
#      picture, and SIGTERM ends it with status 0 and the habitat saved;
#   4. without a compositor: one line that names `lumivor render`.
# Section 1 also runs --wallpaper: the same picture on every output's
# background, not ended by a key, ended by SIGTERM with the habitat saved; and
# `lumivor idle` (org_kde_kwin_idle on sway 1.7): the overlay after an idle
# second, ended by a key, started again after the next, SIGTERM ends it.
# Every wait is for a condition (a socket, a capture, a file, an exit), with a
# minute's limit; nothing depends on how fast the machine is.
#
#   tests/wayland/wayland_test.sh path/to/lumivor      (as root: sway runs as nobody)
set -eu
# fail, die, within SECONDS COMMAND..., gone PID, finish PID SECONDS, start_sway DIR SIZE
# shellcheck source=tests/support/checks.sh
. "$(dirname "$0")/../support/checks.sh"

lumivor=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seed=1765000000
ticks=40
[ "$(id -u)" = 0 ] || die "wayland_test.sh runs as root (sway is started as the user nobody)"

work=$(mktemp -d "${TMPDIR:-/tmp}/lumivor-wayland.XXXXXX")
chmod 755 "$work"  # sway, as nobody, reads its configuration here
pids=""
cleanup() {
    # The saver swayidle started is no child of this script.
    [ ! -s "$work/idle.pid" ] || pids="$pids $(cat "$work/idle.pid")"
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done  # none writes in $work any more
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
unset DISPLAY WAYLAND_DISPLAY

# wait_until WHAT COMMAND...: COMMAND succeeds within a minute, or that is a failure.
wait_until() {
    what=$1
    shift
    within 60 "$@" || { fail "no $what within a minute"; return 1; }
}

# background COMMAND...: COMMAND in the background, its id in $saver (and in $pids).
background() {
    "$@" &
    saver=$!
    pids="$pids $saver"
}
# start_saver NAME ARG...: `lumivor ARG...` in the background with the test's seed and
# ticks, its habitat to NAME.ppm, its messages and its requests and events (lines
# that start with "[") to NAME.log.
start_saver() {
    name=$1
    shift
    background env WAYLAND_DEBUG=client "$lumivor" "$@" --seed "$seed" --ticks "$ticks" \
        --habitat "$work/$name.ppm" >/dev/null 2>"$work/$name.log" 3>&-
}
# stop: SIGTERM to the saver, then its end (its status in $status).
stop() {
    kill -TERM "$saver"
    finish "$saver" 60
}
# typist FIFO: wtype in the background, typing what is written to descriptor 3.
typist() {
    mkfifo "$1"
    wtype - <"$1" &
    wtype_pid=$!
    pids="$pids $wtype_pid"
    exec 3>"$1"
}
# type_when_focused LOG: an x once LOG shows the saver's keyboard focus; wtype then ends.
type_when_focused() {
    focus_log=$1
    focused() { grep -q 'wl_keyboard[@#][0-9]*\.enter' "$focus_log"; }
    wait_until "keyboard focus" focused
    printf x >&3
    exec 3>&-
}

# ended STATUS NAME REF WHAT...: the saver NAME ended with STATUS and its habitat is
# ref-REF.ppm (the render's of size REF).
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
start_sway "$work/sway" 320x240 || { pids="$pids $sway_pid" && die "sway did not start"; }
pids="$pids $sway_pid"

# shows W H [OUTPUT]: the output, captured, is the reference picture of that size.
shows() {
    grim -o "${3:-HEADLESS-1}" -t ppm "$work/capture.ppm" 2>"$work/grim.log" &&
        cmp -s "$work/capture.ppm" "$work/shot-$1x$2.ppm"
}

# 1. The overlay is exact, follows the output's size, and a key ends it. The key
# is typed only once the saver holds the keyboard: wtype's virtual keyboard is the
# seat's only one, so the saver asks for it after wtype starts, and a key typed
# before that request reaches the compositor would be lost.
start_saver key --wayland
wait_until "overlay picture at 320x240" shows 320 240 ||
    tail -n 20 "$work/key.log" "$work/grim.log" "$work/sway/sway.log" >&2  # what each said
swaymsg output HEADLESS-1 resolution 400x300 >/dev/null || fail "swaymsg cannot resize the output"
wait_until "overlay picture at 400x300" shows 400 300
swaymsg create_output >/dev/null && swaymsg output HEADLESS-2 resolution 400x300 >/dev/null ||
    fail "swaymsg cannot add an output"
wait_until "overlay picture on an added output" shows 400 300 HEADLESS-2
typist "$work/keys"
type_when_focused "$work/key.log"
finish "$saver" 60
ended 0 key 400x300 "sway: the overlay showed the render's picture, after a resize and on an" \
    "added output; a key ended it with status 0 and the habitat saved"
finish "$wtype_pid" 60

# Standard output by any name holds the picture alone (the messages go to
# standard error); standard error is refused as an output, before any connection.
cleared() { ! shows 400 300; }
wait_until "output cleared of the last saver" cleared
for name in /dev/stdout /dev/fd/1; do
    background "$lumivor" --wayland --seed "$seed" --ticks "$ticks" --habitat "$name" \
        >"$work/out.ppm" 2>"$work/out.log"
    wait_until "picture for $name" shows 400 300
    stop
    ended 0 out 400x300 "sway: --habitat $name is the picture alone on standard output"
    grep -q "community '" "$work/out.log" || fail "$name: the messages went elsewhere"
    wait_until "output cleared of the last saver" cleared
done
# The wallpaper, at a slower pace: the background of every output shows the
# same picture, a key typed meanwhile does not end it, a window is drawn over
# it, SIGTERM ends it (status 0, the habitat saved).
start_saver wall --wayland --wallpaper --ticks-per-second 30
wait_until "wallpaper picture" shows 400 300
wait_until "wallpaper picture on the added output" shows 400 300 HEADLESS-2
wtype x || fail "wtype cannot type"
wait_until "wallpaper picture after a key" shows 400 300
kill -0 "$saver" 2>/dev/null || fail "sway: a key ended the wallpaper"
# A window opened on top is drawn over it; closed, the wallpaper's picture is whole again.
weston-simple-shm >/dev/null 2>&1 &
window_pid=$!
pids="$pids $window_pid"
covered() { ! shows 400 300 || ! shows 400 300 HEADLESS-2; }
wait_until "a window over the wallpaper" covered
kill "$window_pid" 2>/dev/null || true  # it may have ended by itself
finish "$window_pid" 60
uncovered() { shows 400 300 && shows 400 300 HEADLESS-2; }
wait_until "wallpaper picture after the window closed" uncovered
stop
ended 0 wall 400x300 "sway: the wallpaper showed the render's picture on every output at 30" \
    "ticks a second, outlived a key; SIGTERM ended it with status 0 and the habitat saved"
wait_until "output cleared of the wallpaper" cleared

says 2 "names standard error" "$lumivor" --wayland --habitat /dev/stderr

# A stop before any world was built leaves the habitat file as it was, says so
# and ends with success, here while the compositor does not answer at all.
echo old | tee "$work/frozen.ppm" >"$work/ref-old.ppm"
kill -STOP "$sway_pid"
start_saver frozen --wayland
spoke() { grep -qs "get_registry" "$work/frozen.log"; }
wait_until "the saver's first request" spoke
stop
kill -CONT "$sway_pid"
ended 0 frozen old "SIGTERM while the compositor does not answer"
grep -q "nothing was saved" "$work/frozen.log" || fail "the frozen saver did not say it saved nothing"

# An output wider than a habitat may be is refused before the world: the saved
# habitat must be one a run can start from.
swaymsg output HEADLESS-1 resolution 40000x240 >/dev/null
says 1 "sides go up to 32768" "$lumivor" --wayland --ticks 5 --habitat "$work/wide.ppm"
[ ! -e "$work/wide.ppm" ] || fail "a 40000-pixel output: a habitat was saved"
swaymsg output HEADLESS-1 resolution 400x300 >/dev/null

# The idle watcher of its own: after a second without input it shows the
# overlay (the render's picture); a key ends that run, the next idle second
# starts another, and SIGTERM ends the watcher with status 0 and the habitat saved.
wait_until "output cleared of the last saver" cleared
typist "$work/watch-keys"  # wtype types once it reads the end: the watcher has no copy
start_saver watch idle --after 1
wait_until "picture from lumivor idle" shows 400 300
type_when_focused "$work/watch.log"
key_ended_run() { [ -s "$work/watch.ppm" ]; }  # each run saves its habitat at its end
wait_until "end of the run by a key" key_ended_run ||
    grep -v "^\[" "$work/watch.log" | tail -n 5 >&2
finish "$wtype_pid" 60
second_run() { [ "$(grep -c "community '" "$work/watch.log")" -ge 2 ]; }
wait_until "a second run of lumivor idle" second_run
wait_until "picture from the second run" shows 400 300
stop
ended 0 watch 400x300 "sway: lumivor idle showed the render's picture after an idle second," \
    "again after a key and another idle second; SIGTERM ended it with status 0"

# 2. Started by the idle daemon, once the last saver's picture has left the
# output, and ended by the compositor going away: status 1, said why, and the
# habitat saved. The saver is no child of this script: the daemon's shell
# writes down its id and, once it has ended, its status.
wait_until "output cleared of the last saver" cleared
swayidle -w timeout 1 "'$lumivor' --wayland --quiet --seed $seed --ticks $ticks \
--habitat '$work/idle.ppm' >/dev/null 2>'$work/idle.log' & echo \$! >'$work/idle.pid'; \
wait \$!; echo \$? >'$work/idle.status'" >"$work/swayidle.log" 2>&1 &
idle_pid=$!
pids="$pids $idle_pid"
wait_until "picture from the saver swayidle starts" shows 400 300
kill "$sway_pid"
idle_ended() { [ -s "$work/idle.status" ]; }
wait_until "the end of the saver swayidle started" idle_ended
status=$(cat "$work/idle.status" 2>/dev/null || echo none)
ended 1 idle 400x300 "sway: swayidle starts it; sway gone, status 1 and the habitat saved"
grep -q "Wayland compositor" "$work/idle.log" || fail "sway gone: the saver did not say why"
finish "$sway_pid" 60
finish "$idle_pid" 60

# --- weston: no layer-shell, so a full-screen toplevel -------------------------
mkdir -m 700 "$work/weston-run" "$work/shots"
export XDG_RUNTIME_DIR="$work/weston-run" WAYLAND_DISPLAY=lumivor-test
weston --backend=headless-backend.so --use-pixman --width=320 --height=240 \
    --socket="$WAYLAND_DISPLAY" --idle-time=0 --no-config --debug >"$work/weston.log" 2>&1 &
weston_pid=$!
pids="$pids $weston_pid"
weston_up() { [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
wait_until "weston socket" weston_up || die "weston did not start" "$work/weston.log"
start_saver weston --wayland
# weston's screenshooter writes a PNG named by the time into the current folder.
weston_shows() {
    rm -f "$work"/shots/*.png
    (cd "$work/shots" && weston-screenshooter >/dev/null 2>&1) &&
        convert "$work"/shots/*.png -depth 8 "ppm:$work/capture.ppm" 2>/dev/null &&
        cmp -s "$work/capture.ppm" "$work/shot-320x240.ppm"
}
wait_until "full-screen picture on weston" weston_shows
stop
ended 0 weston 320x240 "weston: the full-screen toplevel showed the render's picture; SIGTERM" \
    "ended it with status 0 and the habitat saved"
kill "$weston_pid"
finish "$weston_pid" 60

# --- no compositor ------------------------------------------------------------
says 1 "'lumivor render'" env XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-none \
    "$lumivor" --wayland --ticks 1
[ "$(wc -l <"$work/says.log")" -eq 1 ] || fail "no compositor: more than one line"
says 1 "WAYLAND_SOCKET=99: Bad file descriptor" env WAYLAND_SOCKET=99 "$lumivor" --wayland --ticks 1

[ "$failures" -eq 0 ] || { echo "wayland_test.sh: $failures failed" >&2; exit 1; }
echo "wayland_test.sh: all passed"
