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
# limit of two minutes; nothing depends on how fast the machine is.
#
#   tests/wayland/wayland_test.sh path/to/lumivor      (as root: sway runs as nobody)
set -eu
# begin, wait_until, spawn, stop, start_saver, ended, says, reference; fail, die,
# finish, start_sway, verdict
# shellcheck source=tests/wayland/session.sh
. "$(dirname "$0")/session.sh"
[ "$(id -u)" = 0 ] || die "wayland_test.sh runs as root (sway is started as the user nobody)"
begin wayland "$1"
chmod 755 "$work"  # sway, as nobody, reads its configuration here
# The saver swayidle started is no child of this script.
trap '[ ! -s "$work/idle.pid" ] || pids="$pids $(cat "$work/idle.pid")"; end_work' EXIT

# typist FIFO: wtype in the background, typing what is written to descriptor 3.
typist() {
    mkfifo "$1"
    wtype - <"$1" &  # opens the pipe once descriptor 3 does
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

reference 320 240
reference 400 300

# --- sway -------------------------------------------------------------------
start_sway "$work/sway" 320x240 || { pids="$pids $sway_pid" && die "sway did not start"; }
pids="$pids $sway_pid"

# shows W H [OUTPUT]: the output, captured, is the reference picture of that size.
shows() {
    grim -o "${3:-HEADLESS-1}" -t ppm - 2>"$work/grim.log" |
        convert ppm:- -depth 8 "rgb:$work/capture.rgb" 2>/dev/null &&
        cmp -s "$work/capture.rgb" "$work/ref-$1x$2.rgb"
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
reap "$saver"
ended 0 key 400x300 "sway: the overlay showed the render's picture, after a resize and on an" \
    "added output; a key ended it with status 0 and the habitat saved"
reap "$wtype_pid"

# Standard output by any name holds the picture alone (the messages go to
# standard error); standard error is refused as an output, before any connection.
cleared() { ! shows 400 300; }
wait_until "output cleared of the last saver" cleared
for name in /dev/stdout /dev/fd/1; do
    spawn "$lumivor" --wayland --seed "$seed" --ticks "$ticks" --habitat "$name" \
        >"$work/out.ppm" 2>"$work/out.log"
    wait_until "picture for $name" shows 400 300
    stop "$spawned"
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
spawn weston-simple-shm >/dev/null 2>&1
covered() { ! shows 400 300 || ! shows 400 300 HEADLESS-2; }
wait_until "a window over the wallpaper" covered
stop "$spawned"
uncovered() { shows 400 300 && shows 400 300 HEADLESS-2; }
wait_until "wallpaper picture after the window closed" uncovered
stop "$saver"
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
stop "$saver"
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
reap "$wtype_pid"
second_run() { [ "$(grep -c "community '" "$work/watch.log")" -ge 2 ]; }
wait_until "a second run of lumivor idle" second_run
wait_until "picture from the second run" shows 400 300
stop "$saver"
ended 0 watch 400x300 "sway: lumivor idle showed the render's picture after an idle second," \
    "again after a key and another idle second; SIGTERM ended it with status 0"

# 2. Started by the idle daemon, once the last saver's picture has left the
# output, and ended by the compositor going away: status 1, said why, and the
# habitat saved. The saver is no child of this script: the daemon's shell
# writes down its id and, once it has ended, its status.
wait_until "output cleared of the last saver" cleared
spawn swayidle -w timeout 1 "'$lumivor' --wayland --quiet --seed $seed --ticks $ticks \
--habitat '$work/idle.ppm' >/dev/null 2>'$work/idle.log' & echo \$! >'$work/idle.pid'; \
wait \$!; echo \$? >'$work/idle.status'" >"$work/swayidle.log" 2>&1
idle_pid=$spawned
wait_until "picture from the saver swayidle starts" shows 400 300
kill "$sway_pid"
idle_ended() { [ -s "$work/idle.status" ]; }
wait_until "the end of the saver swayidle started" idle_ended
status=$(cat "$work/idle.status" 2>/dev/null || echo none)
ended 1 idle 400x300 "sway: swayidle starts it; sway gone, status 1 and the habitat saved"
grep -q "Wayland compositor" "$work/idle.log" || fail "sway gone: the saver did not say why"
reap "$sway_pid"
reap "$idle_pid"

# --- weston: no layer-shell, so a full-screen toplevel -------------------------
mkdir -m 700 "$work/weston-run" "$work/shots"
export XDG_RUNTIME_DIR="$work/weston-run" WAYLAND_DISPLAY=lumivor-test
spawn weston --backend=headless-backend.so --use-pixman --width=320 --height=240 \
    --socket="$WAYLAND_DISPLAY" --idle-time=0 --no-config --debug >"$work/weston.log" 2>&1
weston_pid=$spawned
weston_up() { [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
wait_until "weston socket" weston_up || die "weston did not start" "$work/weston.log"
start_saver weston --wayland
# weston's screenshooter writes a PNG named by the time into the current folder.
weston_shows() {
    rm -f "$work"/shots/*.png
    (cd "$work/shots" && weston-screenshooter >/dev/null 2>&1) &&
        convert "$work"/shots/*.png -depth 8 "rgb:$work/capture.rgb" 2>/dev/null &&
        cmp -s "$work/capture.rgb" "$work/ref-320x240.rgb"
}
wait_until "full-screen picture on weston" weston_shows
stop "$saver"
ended 0 weston 320x240 "weston: the full-screen toplevel showed the render's picture; SIGTERM" \
    "ended it with status 0 and the habitat saved"
stop "$weston_pid"

# --- no compositor ------------------------------------------------------------
says 1 "'lumivor render'" env XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-none \
    "$lumivor" --wayland --ticks 1
[ "$(wc -l <"$work/says.log")" -eq 1 ] || fail "no compositor: more than one line"
says 1 "WAYLAND_SOCKET=99: Bad file descriptor" env WAYLAND_SOCKET=99 "$lumivor" --wayland --ticks 1

verdict wayland_test.sh
