#!/usr/bin/python3
# A status-icon applet of the XApp library on the session bus, as Cinnamon's
# and MATE's applets run one: the library's own StatusIconMonitor, named after
# the program name given as the first argument. It prints every icon it
# finds, every property change and every removal as one JSON line, sets the
# icon size as the applets do, and sends clicks read from stdin as
# "release X Y BUTTON PANEL_POSITION" lines.
import json
import sys

import gi

gi.require_version("XApp", "1.0")
from gi.repository import GLib, XApp  # noqa: E402

PROPERTIES = ["Name", "IconName", "TooltipText", "Label", "Visible", "IconSize",
              "PrimaryMenuIsOpen", "SecondaryMenuIsOpen", "Metadata"]
icons = {}


def say(event, proxy, props):
    print(json.dumps({"event": event, "bus": proxy.get_name(), "path": proxy.get_object_path(),
                      "props": props}), flush=True)


def snapshot(proxy):
    values = {}
    for name in PROPERTIES:
        value = proxy.get_cached_property(name)
        values[name] = value.unpack() if value is not None else None
    return values


def added(_monitor, proxy):
    icons[proxy.get_name() + proxy.get_object_path()] = proxy
    proxy.connect("g-properties-changed",
                  lambda p, changed, _invalid: say("changed", p, changed.unpack()))
    say("added", proxy, snapshot(proxy))
    proxy.set_property("icon-size", 24)


def removed(_monitor, proxy):
    icons.pop(proxy.get_name() + proxy.get_object_path(), None)
    say("removed", proxy, {})


def command(channel, _condition):
    line = channel.readline()
    if not line:
        loop.quit()
        return False
    words = line.split()
    if words and words[0] == "release":
        x, y, button, position = (int(w) for w in words[1:5])
        for proxy in icons.values():
            proxy.call_button_release(x, y, button, 0, position, None, None)
    return True


GLib.set_prgname(sys.argv[1])
monitor = XApp.StatusIconMonitor()
monitor.connect("icon-added", added)
monitor.connect("icon-removed", removed)
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  command)
print(json.dumps({"event": "ready"}), flush=True)
loop = GLib.MainLoop()
loop.run()
