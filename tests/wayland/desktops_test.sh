#!/bin/sh
# The Wayland host on the compositors of the two large desktops, headless with
# software rendering, each on its own session bus with two virtual outputs:
#   1. KWin (wlr-layer-shell): the overlay covers both outputs with exactly the
#      picture of `lumivor render --no-gl` of the same seed, size and ticks (read
#      back through KWin's ScreenShot2 D-Bus interface), and SIGTERM ends it with
#      status 0 and the habitat saved; --wallpaper likewise on both backgrounds
#      (and a window opened on top is drawn over it),
#      and `lumivor idle --after 1` through KWin's ext-idle-notify-v1.
#      KWin offers no virtual keyboard protocol, so no key is typed there (nor
#      is an idle run ended by input).
#   2. mutter (no layer-shell): a full-screen xdg-shell toplevel on each output
#      of two sizes, the habitat the size of the largest: the larger output shows
#      the whole habitat, the smaller its bottom-left corner (read back through
#      mutter's ScreenCast D-Bus interface and PipeWire); a key typed through
#      mutter's RemoteDesktop interface ends it with status 0 and the habitat
#      saved, and so does SIGTERM; --wallpaper is refused with one line.
#      `lumivor idle --after 1` (mutter 43 offers no idle protocol: its
#      IdleMonitor on the session bus) starts the saver after an idle second, a
#      key ends that run, the next idle second starts another, and SIGTERM ends
#      the watcher with status 0.
# Every wait is for a condition (a socket, a bus, a capture, a log line, an exit),
# with a minute's limit; nothing depends on how fast the machine is.
#
#   tests/wayland/desktops_test.sh path/to/lumivor
set -eu
# fail, die, before SECONDS COMMAND..., finish PID SECONDS
# shellcheck source=tests/support/checks.sh
. "$(dirname "$0")/../support/checks.sh"

lumivor=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seed=1765000000
ticks=40

work=$(mktemp -d "${TMPDIR:-/tmp}/lumivor-desktops.XXXXXX")
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done  # none writes in $work any more
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET
# The desktops keep their settings and caches here, not in the caller's home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_CACHE_HOME="$work/home/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications" "$XDG_CACHE_HOME" "$work/bin"
# desktop_bus.py runs on a copy of Debian's Python: KWin grants ScreenShot2 by
# the caller's executable (below), and Debian's own desktop entry for python3
# would be found first.
cp "$(readlink -f /usr/bin/python3)" "$work/bin/python3"
bus_tool="$work/bin/python3 $(cd "$(dirname "$0")" && pwd)/desktop_bus.py"

# wait_until WHAT COMMAND...: COMMAND succeeds within a minute, or that is a failure.
wait_until() {
    what=$1
    shift
    before 60 "$@" || { fail "no $what within a minute"; return 1; }
}

# The reference habitat of a size (ref-WxH.ppm), and the raw RGB pixels a
# capture of an output of that size must be (ref-WxH.rgb).
reference() {
    "$lumivor" render --no-gl --quiet --seed "$seed" --size "$1x$2" --ticks "$ticks" \
        --habitat "$work/ref-$1x$2.ppm" >/dev/null || die "lumivor render failed"
    tail -c $(($1 * $2 * 3)) "$work/ref-$1x$2.ppm" >"$work/ref-$1x$2.rgb"
}
reference 320 240
reference 400 300
# The bottom-left corner of the larger, which an output of 320x240 shows beside
# one of 400x300: the world is drawn from that corner.
convert "$work/ref-400x300.ppm" -crop 320x240+0+60 -depth 8 "rgb:$work/corner.rgb" ||
    die "convert cannot crop the reference"

# shows OUTPUT WANT: the compositor's capture (the function `capture`, set for
# each) of OUTPUT is the raw RGB file WANT; differs: it is captured and is not.
shows() { capture "$1" && cmp -s "$work/$1.rgb" "$work/$2"; }
differs() { capture "$1" && ! cmp -s "$work/$1.rgb" "$work/$2"; }

# reap PID: finish PID 60, and the id is forgotten: the cleanup signals only
# processes not yet waited for, never an id the system may have reused.
reap() {
    finish "$1" 60
    pids=$(for pid in $pids; do [ "$pid" = "$1" ] || echo "$pid"; done)
}

# start_desktop NAME COMMAND...: a session bus of its own, then the compositor
# (COMMAND) on it with its log in NAME.log and its runtime folder NAME-run; the
# compositor's id is $desktop, its bus the exported DBUS_SESSION_BUS_ADDRESS.
# stop_desktop ends both.
start_desktop() {
    name=$1
    shift
    dbus-daemon --session --nofork --print-address=3 3>"$work/$name.bus" 2>"$work/$name-bus.log" &
    bus=$!
    pids="$pids $bus"
    bus_up() { [ -s "$work/$name.bus" ]; }
    wait_until "session bus for $name" bus_up || die "dbus-daemon did not start" "$work/$name-bus.log"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/$name.bus")
    mkdir -m 700 "$work/$name-run"
    export DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/$name-run" WAYLAND_DISPLAY="lumivor-$name"
    "$@" >"$work/$name.log" 2>&1 &
    desktop=$!
    pids="$pids $desktop"
    socket_up() { [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
    wait_until "$name socket" socket_up || die "$name did not start" "$work/$name.log"
}

stop_desktop() {
    kill "$desktop"
    reap "$desktop"
    kill "$bus"
    reap "$bus"
}

# start_saver NAME [OPTION...]: the saver (or, with $verb set, that command)
# with WAYLAND_DEBUG in the background, its habitat to NAME.ppm and its
# messages to NAME.log.
verb=""
start_saver() {
    name=$1
    shift
    WAYLAND_DEBUG=client "$lumivor" ${verb:+"$verb"} --wayland "$@" --seed "$seed" --ticks "$ticks" \
        --habitat "$work/$name.ppm" >/dev/null 2>"$work/$name.log" &
    saver=$!
    pids="$pids $saver"
}

# ended STATUS NAME WxH WHAT...: the saver NAME ended with STATUS and saved the
# render's habitat of that size.
ended() {
    want=$1 got=$work/$2.ppm ref=$work/ref-$3.ppm log=$work/$2.log
    shift 3
    [ "$status" = "$want" ] && cmp -s "$got" "$ref" ||
        fail "$*: status $status, habitat $(cmp "$got" "$ref" 2>&1), said '$(grep -v '^\[' "$log" | tail -n 5)'"
}

# --- KWin: wlr-layer-shell ----------------------------------------------------
# The installed kwin_wayland carries file capabilities that a container refuses
# to execute, so a copy runs; it keeps its name, by which KWin picks its own Qt
# platform plugin. ScreenShot2 answers a process whose executable a desktop
# entry grants that interface: the copy of Python that runs desktop_bus.py.
cp /usr/bin/kwin_wayland "$work/bin/kwin_wayland"
cat >"$XDG_DATA_HOME/applications/lumivor-capture.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=lumivor test capture
Exec=$work/bin/python3
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
EOF
start_desktop kwin "$work/bin/kwin_wayland" --virtual --width 320 --height 240 --output-count 2 \
    --socket lumivor-kwin --no-lockscreen --no-global-shortcuts

capture() { $bus_tool capture "$1" "$work/$1.rgb" 2>"$work/capture.log"; }
kwin_cleared() { differs Virtual-0 ref-320x240.rgb && differs Virtual-1 ref-320x240.rgb; }

for mode in overlay wallpaper idle; do
    verb="" options="--quiet"
    [ "$mode" = wallpaper ] && options="--quiet --wallpaper --ticks-per-second 30"
    [ "$mode" = idle ] && verb=idle options="--quiet --after 1"
    # shellcheck disable=SC2086 # the options are words
    start_saver "kwin-$mode" $options
    wait_until "KWin $mode picture on the first output" shows Virtual-0 ref-320x240.rgb ||
        tail -n 5 "$work/capture.log" "$work/kwin.log" >&2
    wait_until "KWin $mode picture on the second output" shows Virtual-1 ref-320x240.rgb
    if [ "$mode" = wallpaper ]; then  # a window opened on top is drawn over it
        weston-simple-shm >/dev/null 2>&1 &
        window_pid=$!
        pids="$pids $window_pid"
        kwin_covered() { differs Virtual-0 ref-320x240.rgb || differs Virtual-1 ref-320x240.rgb; }
        wait_until "a window over the KWin wallpaper" kwin_covered
        kill "$window_pid" 2>/dev/null || true  # it may have ended by itself
        reap "$window_pid"
        kwin_whole() { shows Virtual-0 ref-320x240.rgb && shows Virtual-1 ref-320x240.rgb; }
        wait_until "the KWin wallpaper whole after the window closed" kwin_whole
    fi
    kill -TERM "$saver"
    reap "$saver"
    ended 0 "kwin-$mode" 320x240 "KWin: the $mode showed the render's picture on both outputs;" \
        "SIGTERM ended it with status 0 and the habitat saved"
    wait_until "KWin outputs cleared of the $mode" kwin_cleared
done
verb=""
stop_desktop

# --- mutter: no layer-shell, so full-screen toplevels -----------------------------
start_desktop mutter mutter --headless --wayland --no-x11 --virtual-monitor 320x240 \
    --virtual-monitor 400x300 --wayland-display=lumivor-mutter
# mutter's screen casts go through PipeWire, whose session manager links the
# streams to their readers.
pipewire >"$work/pipewire.log" 2>&1 &
pipewire_pid=$!
pids="$pids $pipewire_pid"
pipewire_up() { [ -S "$XDG_RUNTIME_DIR/pipewire-0" ]; }
wait_until "PipeWire socket" pipewire_up || die "pipewire did not start" "$work/pipewire.log"
wireplumber >"$work/wireplumber.log" 2>&1 &
wireplumber_pid=$!
pids="$pids $wireplumber_pid"

# capture OUTPUT: a frame of the monitor's stream (cast.log names its node).
capture() {
    node=$(awk -v connector="$1" '$1 == connector { print $2 }' "$work/cast.log")
    timeout 20 gst-launch-1.0 -q pipewiresrc path="$node" num-buffers=1 ! videoconvert ! \
        video/x-raw,format=RGB ! filesink location="$work/$1.rgb" >"$work/gst.log" 2>&1
}

# A full-screen toplevel configured to each output's size, and all its ticks
# done: the saver's --fps report shows a second without a tick after one with
# ticks (a stall instead shows in the pictures or the habitat saved).
covers_both() {
    grep -qs 'xdg_toplevel[@#][0-9]*\.configure(320, 240,' "$1" &&
        grep -q 'xdg_toplevel[@#][0-9]*\.configure(400, 300,' "$1" &&
        awk '/^lumivor: [0-9.]* ticks\/s/ { if ($2 > 0) ticked = 1; else if (ticked) held = 1 }
             END { exit !held }' "$1"
}
start_saver mutter-key --fps
wait_until "mutter toplevels on both outputs, all ticks done" covers_both "$work/mutter-key.log"
mkfifo "$work/cast"
$bus_tool cast Meta-0 Meta-1 <"$work/cast" >"$work/cast.log" 2>&1 &
cast_pid=$!
pids="$pids $cast_pid"
exec 4>"$work/cast"
streams_up() { [ "$(grep -c '^Meta-[01] [0-9]' "$work/cast.log")" -eq 2 ]; }
wait_until "ScreenCast streams" streams_up
wait_until "mutter picture on the larger output" shows Meta-1 ref-400x300.rgb ||
    tail -n 5 "$work/cast.log" "$work/gst.log" >&2
wait_until "mutter picture on the smaller output" shows Meta-0 corner.rgb
exec 4>&-
reap "$cast_pid"
[ "$status" -eq 0 ] || fail "mutter's ScreenCast session: $(cat "$work/cast.log")"

# mutter gives the seat its keyboard at the first key of a RemoteDesktop session;
# that key reaches no client. The key that counts is typed once the saver holds
# the keyboard.
mkfifo "$work/keys"
$bus_tool keys <"$work/keys" >"$work/keys.log" 2>&1 &
keys_pid=$!
pids="$pids $keys_pid"
exec 3>"$work/keys"
session_up() { grep -q keyboard "$work/keys.log"; }
wait_until "RemoteDesktop session" session_up
has_keyboard() { grep -qs 'wl_keyboard[@#][0-9]*\.enter' "${1:-$work/mutter-key.log}"; }
echo >&3
wait_until "keyboard focus" has_keyboard
echo >&3
reap "$saver"
ended 0 mutter-key 400x300 "mutter: full-screen on both outputs, habitat of the largest; a key" \
    "ended it with status 0 and the habitat saved"

start_saver mutter-term --fps
wait_until "mutter toplevels on both outputs, all ticks done" covers_both "$work/mutter-term.log"
kill -TERM "$saver"
reap "$saver"
ended 0 mutter-term 400x300 "mutter: SIGTERM ended it with status 0 and the habitat saved"

# runs_held LOG N: N runs in LOG did all their ticks (as covers_both sees one).
runs_held() {
    awk -v n="$2" '/^lumivor: [0-9.]* ticks\/s/ { if ($2 > 0) ticked = 1; else if (ticked) { held++; ticked = 0 } }
                   END { exit held < n }' "$1"
}
habitat_is() { cmp -s "$work/mutter-idle.ppm" "$work/ref-400x300.ppm"; }
verb=idle
start_saver mutter-idle --after 1 --fps
verb=""
wait_until "an idle run, all ticks done" runs_held "$work/mutter-idle.log" 1
grep -q "IdleMonitor" "$work/mutter-idle.log" ||
    fail "mutter: lumivor idle watches $(grep -v '^\[' "$work/mutter-idle.log" | head -n 1)"
wait_until "keyboard focus on the idle run" has_keyboard "$work/mutter-idle.log"
echo >&3
wait_until "the idle run's habitat, saved at the key" habitat_is
rm "$work/mutter-idle.ppm"
wait_until "a second idle run, all ticks done" runs_held "$work/mutter-idle.log" 2
kill -TERM "$saver"
reap "$saver"
ended 0 mutter-idle 400x300 "mutter: lumivor idle through IdleMonitor: a run after an idle second," \
    "ended by a key, another after the next; SIGTERM ended the watcher with status 0"
exec 3>&-
reap "$keys_pid"
[ "$status" -eq 0 ] || fail "mutter's RemoteDesktop session: $(cat "$work/keys.log")"

status=0
"$lumivor" --wayland --wallpaper --ticks 1 --habitat "$work/wall.ppm" >/dev/null 2>"$work/wall.log" ||
    status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$work/wall.log")" -eq 1 ] && [ ! -e "$work/wall.ppm" ] &&
    grep -q "wlr-layer-shell" "$work/wall.log" ||
    fail "mutter --wallpaper: status $status, said '$(cat "$work/wall.log")'"
kill "$wireplumber_pid" "$pipewire_pid"
reap "$wireplumber_pid"
reap "$pipewire_pid"
stop_desktop

[ "$failures" -eq 0 ] || { echo "desktops_test.sh: $failures failed" >&2; exit 1; }
echo "desktops_test.sh: all passed"
