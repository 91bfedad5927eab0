#!/bin/sh
# The Wayland host on the compositors of the two large desktops, headless with
# software rendering, each on its own session bus with two virtual outputs:
#   1. KWin (wlr-layer-shell): the overlay covers both outputs with exactly the
#      picture of `lumivor render --no-gl` of the same seed, size and ticks (read
#      back through KWin's ScreenShot2 D-Bus interface), and SIGTERM ends it with
#      status 0 and the habitat saved; --wallpaper likewise on both backgrounds
#      (that a window opened on top is drawn over it is sway's test, in
#      wayland_test.sh), and `lumivor idle --after 1` through KWin's
#      ext-idle-notify-v1.
#      KWin offers no virtual keyboard protocol, so no key is typed there (nor
#      is an idle run ended by input).
#   2. mutter (no layer-shell): `lumivor idle --after 1` (mutter 43 offers no
#      idle protocol: its IdleMonitor on the session bus) starts the saver after
#      an idle second: a full-screen xdg-shell toplevel on each output of two
#      sizes, the habitat the size of the largest: the larger output shows the
#      whole habitat, the smaller its bottom-left corner (read back through
#      mutter's ScreenCast D-Bus interface and PipeWire); a key typed through
#      mutter's RemoteDesktop interface ends that run with the habitat saved, the
#      next idle second starts another, and SIGTERM ends the watcher with status
#      0 and that run's habitat saved; --wallpaper is refused with one line.
# Every wait is for a condition (a socket, a bus, a capture, a log line, an exit),
# with a limit of two minutes; nothing depends on how fast the machine is.
#
#   tests/wayland/desktops_test.sh path/to/lumivor
set -eu
# begin, wait_until, spawn, reap, stop, start_saver, ended, says, reference; fail,
# die, verdict
# shellcheck source=tests/wayland/session.sh
. "$(dirname "$0")/session.sh"
begin desktops "$1"
# The desktops keep their settings and caches here, not in the caller's home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_CACHE_HOME="$work/home/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications" "$XDG_CACHE_HOME" "$work/bin"
# desktop_bus.py runs on a copy of Debian's Python: KWin grants ScreenShot2 by
# the caller's executable (below), and Debian's own desktop entry for python3
# would be found first.
cp "$(readlink -f /usr/bin/python3)" "$work/bin/python3"
bus_tool="$work/bin/python3 $(cd "$(dirname "$0")" && pwd)/desktop_bus.py"

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

# start_desktop NAME COMMAND...: a session bus of its own, then the compositor
# (COMMAND) on it with its log in NAME.log and its runtime folder NAME-run; the
# ids of both are $desktop, its bus the exported DBUS_SESSION_BUS_ADDRESS.
start_desktop() {
    name=$1
    shift
    spawn dbus-daemon --session --nofork --print-address=3 3>"$work/$name.bus" 2>"$work/$name-bus.log"
    desktop=$spawned
    wait_until "session bus for $name" test -s "$work/$name.bus" ||
        die "dbus-daemon did not start" "$work/$name-bus.log"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/$name.bus")
    mkdir -m 700 "$work/$name-run"
    export DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/$name-run" WAYLAND_DISPLAY="lumivor-$name"
    spawn "$@" >"$work/$name.log" 2>&1
    desktop="$spawned $desktop"
    wait_until "$name socket" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ||
        die "$name did not start" "$work/$name.log"
}

# --- KWin: wlr-layer-shell ----------------------------------------------------
# The installed kwin_wayland carries file capabilities that a container refuses
# to execute, so a copy runs; it keeps its name, by which KWin picks its own Qt
# platform plugin. ScreenShot2 answers a process whose executable a desktop
# entry grants that interface: the copy of Python that runs desktop_bus.py.
cp /usr/bin/kwin_wayland "$work/bin/kwin_wayland"
cat >"$XDG_DATA_HOME/applications/lumivor-capture.desktop" <<EOT
[Desktop Entry]
Type=Application
Name=lumivor test capture
Exec=$work/bin/python3
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
EOT
start_desktop kwin "$work/bin/kwin_wayland" --virtual --width 320 --height 240 --output-count 2 \
    --socket lumivor-kwin --no-lockscreen --no-global-shortcuts

capture() { $bus_tool capture "$1" "$work/$1.rgb" 2>"$work/capture.log"; }
# on_both TEST: TEST OUTPUT ref-320x240.rgb holds for both outputs.
on_both() { "$1" Virtual-0 ref-320x240.rgb && "$1" Virtual-1 ref-320x240.rgb; }

for run in "overlay --wayland" "wallpaper --wayland --wallpaper --ticks-per-second 30" \
    "idle idle --wayland --after 1"; do
    # shellcheck disable=SC2086 # the run's words
    set -- $run
    mode=$1
    shift
    start_saver "kwin-$mode" "$@" --quiet
    wait_until "KWin $mode picture on both outputs" on_both shows ||
        tail -n 5 "$work/capture.log" "$work/kwin.log" >&2
    stop "$saver"
    ended 0 "kwin-$mode" 320x240 "KWin: the $mode showed the render's picture on both outputs;" \
        "SIGTERM ended it with status 0 and the habitat saved"
    wait_until "KWin outputs cleared of the $mode" on_both differs
done
stop $desktop

# --- mutter: no layer-shell, so full-screen toplevels -----------------------------
start_desktop mutter mutter --headless --wayland --no-x11 --virtual-monitor 320x240 \
    --virtual-monitor 400x300 --wayland-display=lumivor-mutter
# mutter's screen casts go through PipeWire, whose session manager links the
# streams to their readers.
spawn pipewire >"$work/pipewire.log" 2>&1
desktop="$spawned $desktop"
wait_until "PipeWire socket" test -S "$XDG_RUNTIME_DIR/pipewire-0" ||
    die "pipewire did not start" "$work/pipewire.log"
spawn wireplumber >"$work/wireplumber.log" 2>&1
desktop="$spawned $desktop"

# bus_session NAME FD ARGUMENT...: desktop_bus.py ARGUMENTs, its standard input
# the pipe NAME held open on FD, its output in NAME.log; end_session NAME FD
# closes the pipe, and the session must end with status 0.
bus_session() {
    name=$1 fd=$2
    shift 2
    mkfifo "$work/$name"
    $bus_tool "$@" <"$work/$name" >"$work/$name.log" 2>&1 &  # opens the pipe once FD does
    pids="$pids $!"
    eval "session_$name=$!; exec $fd>\"\$work/\$name\""
}
end_session() {
    eval "exec $2>&-; reap \"\$session_$1\""
    [ "$status" -eq 0 ] || fail "mutter's $1 session: $(cat "$work/$1.log")"
}

# mutter gives the seat its keyboard at the first key of a RemoteDesktop session;
# that key reaches no client. A key that counts is typed once the saver holds
# the keyboard.
bus_session keys 3 keys
wait_until "RemoteDesktop session" grep -q keyboard "$work/keys.log"
echo >&3

# runs_held LOG N: N runs in LOG did all their ticks: the saver's --fps report
# shows a second without a tick after one with ticks (a stall instead shows in
# the pictures or the habitat saved).
runs_held() {
    awk -v n="$2" '/^lumivor: [0-9.]* ticks\/s/ { if ($2 > 0) ticked = 1; else if (ticked) { held++; ticked = 0 } }
                   END { exit held < n }' "$1"
}
log=$work/mutter.log
# A full-screen toplevel configured to each output's size, and all its ticks done.
covers_both() {
    grep -qs 'xdg_toplevel[@#][0-9]*\.configure(320, 240,' "$log" &&
        grep -q 'xdg_toplevel[@#][0-9]*\.configure(400, 300,' "$log" && runs_held "$log" 1
}
has_keyboard() { grep -qs 'wl_keyboard[@#][0-9]*\.enter' "$log"; }
habitat_is() { cmp -s "$work/mutter.ppm" "$work/ref-400x300.ppm"; }
start_saver mutter idle --wayland --after 1 --fps
wait_until "an idle run's toplevels on both outputs, all ticks done" covers_both
grep -q "IdleMonitor" "$log" || fail "mutter: lumivor idle watches $(grep -v '^\[' "$log" | head -n 1)"

# capture OUTPUT: a frame of the monitor's stream (cast.log names its node).
capture() {
    node=$(awk -v connector="$1" '$1 == connector { print $2 }' "$work/cast.log")
    timeout 20 gst-launch-1.0 -q pipewiresrc path="$node" num-buffers=1 ! videoconvert ! \
        video/x-raw,format=RGB ! filesink location="$work/$1.rgb" >"$work/gst.log" 2>&1
}
bus_session cast 4 cast Meta-0 Meta-1
streams_up() { [ "$(grep -c '^Meta-[01] [0-9]' "$work/cast.log")" -eq 2 ]; }
wait_until "ScreenCast streams" streams_up
wait_until "mutter picture on the larger output" shows Meta-1 ref-400x300.rgb ||
    tail -n 5 "$work/cast.log" "$work/gst.log" >&2
wait_until "mutter picture on the smaller output" shows Meta-0 corner.rgb
end_session cast 4

wait_until "keyboard focus" has_keyboard
echo >&3
wait_until "the idle run's habitat, saved at the key" habitat_is
rm "$work/mutter.ppm"
wait_until "a second idle run, all ticks done" runs_held "$log" 2
stop "$saver"
ended 0 mutter 400x300 "mutter: lumivor idle through IdleMonitor: a run after an idle second," \
    "ended by a key, another after the next; SIGTERM ended the watcher with status 0"
end_session keys 3

says 1 "wlr-layer-shell" "$lumivor" --wayland --wallpaper --ticks 1 --habitat "$work/wall.ppm"
[ "$(wc -l <"$work/says.log")" -eq 1 ] && [ ! -e "$work/wall.ppm" ] ||
    fail "mutter --wallpaper: more than one line, or a habitat saved"
stop $desktop

verdict desktops_test.sh
