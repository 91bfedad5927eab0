# The desktops' own D-Bus services, for tests/wayland/desktops_test.sh:
#
#   desktop_bus.py capture SCREEN OUT   KWin's ScreenShot2: one output's pixels, raw RGB
#   desktop_bus.py keys                 mutter's RemoteDesktop: a virtual keyboard that
#                                       types one key ('x') per line of standard input
#   desktop_bus.py cast CONNECTOR...    mutter's ScreenCast: a PipeWire stream of each
#                                       monitor, "CONNECTOR NODE" a line, kept until
#                                       standard input ends
#
# Each uses the session bus of $DBUS_SESSION_BUS_ADDRESS. A failure is one line on
# standard error and status 1.
import os
import sys

import dbus


def capture(screen, path):
    # KWin writes the raw image into the pipe it is handed and answers with its
    # geometry and QImage format; 32-bit formats hold B, G, R, A in memory.
    shot = dbus.Interface(
        dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
        "org.kde.KWin.ScreenShot2")
    read_end, write_end = os.pipe()
    try:
        meta = shot.CaptureScreen(screen, {"native-resolution": True}, dbus.types.UnixFd(write_end))
    finally:
        os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        data = pipe.read()
    width, height, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
    if meta.get("type") != "raw" or int(meta["format"]) not in (4, 5, 6) or len(data) < stride * height:
        raise ValueError(f"unexpected capture {dict(meta)} of {len(data)} bytes")
    pixels = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = pixels[2::4], pixels[1::4], pixels[0::4]
    with open(path, "wb") as out:
        out.write(rgb)


# mutter's session of the service NAME (RemoteDesktop or ScreenCast), created with ARGS.
def session(bus, service, *args):
    name = "org.gnome.Mutter." + service
    manager = dbus.Interface(bus.get_object(name, "/org/gnome/Mutter/" + service), name)
    return dbus.Interface(bus.get_object(name, manager.CreateSession(*args)), name + ".Session")


def keys():
    # mutter gives the seat its keyboard at the session's first key, which no
    # client can have asked for yet: the caller writes a first line for that, and
    # the next once the client holds the keyboard.
    remote = session(dbus.SessionBus(), "RemoteDesktop")
    remote.Start()
    print("keyboard", flush=True)
    for _ in sys.stdin:
        for pressed in (True, False):
            remote.NotifyKeyboardKeycode(dbus.UInt32(45), pressed)  # evdev KEY_X
    remote.Stop()


def cast(connectors):
    # mutter names each stream's PipeWire node in a signal once the session has
    # started, so the signals are awaited in a GLib main loop.
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus, loop, waiting = dbus.SessionBus(), GLib.MainLoop(), set(connectors)
    name, screen_cast = "org.gnome.Mutter.ScreenCast", session(bus, "ScreenCast", {})

    def added(node, connector):
        print(connector, int(node), flush=True)
        waiting.discard(connector)
        if not waiting:
            loop.quit()

    for connector in connectors:
        stream = bus.get_object(name, screen_cast.RecordMonitor(connector, {}))
        stream.connect_to_signal("PipeWireStreamAdded", lambda node, c=connector: added(node, c),
                                 dbus_interface=name + ".Stream")
    screen_cast.Start()
    loop.run()
    sys.stdin.read()
    screen_cast.Stop()


def main():
    try:
        if sys.argv[1:2] == ["capture"] and len(sys.argv) == 4:
            capture(sys.argv[2], sys.argv[3])
        elif sys.argv[1:] == ["keys"]:
            keys()
        elif sys.argv[1:2] == ["cast"] and len(sys.argv) > 2:
            cast(sys.argv[2:])
        else:
            print("usage: desktop_bus.py capture SCREEN OUT | keys | cast CONNECTOR...", file=sys.stderr)
            return 2
    except (dbus.DBusException, OSError, ValueError, KeyError) as error:
        print(f"desktop_bus.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
