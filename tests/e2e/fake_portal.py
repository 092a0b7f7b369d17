"""A desktop settings portal on the session's bus, for tests: it answers Read for
the colour scheme given on its command line, and announces each new scheme (a
number on a line of its standard input) as SettingChanged. It prints "ready" once
it owns the portal's name."""
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
INTERFACE = "org.freedesktop.portal.Settings"
XML = f"""<node><interface name="{INTERFACE}">
  <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="v" direction="out"/></method>
  <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
</interface></node>"""
KEY = ("org.freedesktop.appearance", "color-scheme")

scheme = int(sys.argv[1])
connection = None


def on_call(_connection, _sender, _path, _interface, method, parameters, invocation):
    if method == "Read" and tuple(parameters.unpack()) == KEY:
        # Read wraps the value in a second variant.
        inner = GLib.Variant("v", GLib.Variant("u", scheme))
        invocation.return_value(GLib.Variant("(v)", (inner,)))
    else:
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such key")


def on_bus(bus, _name):
    global connection
    connection = bus
    interface = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    bus.register_object(PATH, interface, on_call, None, None)


def on_name(_bus, _name):
    print("ready", flush=True)


def on_line(channel, _condition):
    global scheme
    line = channel.readline()
    if not line:
        loop.quit()
        return False
    scheme = int(line)
    connection.emit_signal(None, PATH, INTERFACE, "SettingChanged",
                           GLib.Variant("(ssv)", (*KEY, GLib.Variant("u", scheme))))
    connection.flush_sync(None)
    return True


loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name, None)
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                  GLib.IOCondition.IN | GLib.IOCondition.HUP, on_line)
loop.run()
