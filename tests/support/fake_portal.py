"""A stand-in desktop portal for tests: org.freedesktop.portal.Settings on the session bus,
holding only the org.freedesktop.appearance color-scheme.

    fake_portal.py SCHEME [--version1]

SCHEME is the portal's number (0 no preference, 1 dark, 2 light); with --version1 the portal
has only Read, as before ReadOne existed. Each line read from stdin is a new value, announced
with SettingChanged (also when it equals the old one, as real portals may do). Prints "ready"
once it owns its name.
"""

import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SETTINGS = "org.freedesktop.portal.Settings"
GROUP, KEY = "org.freedesktop.appearance", "color-scheme"


class Settings(dbus.service.Object):
    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, group, key):
        return dbus.UInt32(self.scheme, variant_level=2)

    @dbus.service.signal(SETTINGS, signature="ssv")
    def SettingChanged(self, group, key, value):
        pass


class SettingsWithReadOne(Settings):
    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def ReadOne(self, group, key):
        if (group, key) != (GROUP, KEY):
            raise dbus.exceptions.DBusException(
                "Requested setting not found", name="org.freedesktop.portal.Error.NotFound")
        return dbus.UInt32(self.scheme, variant_level=1)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    kind = Settings if "--version1" in sys.argv[2:] else SettingsWithReadOne
    settings = kind(bus, "/org/freedesktop/portal/desktop")
    settings.scheme = int(sys.argv[1])
    settings.name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
    loop = GLib.MainLoop()

    # Unbuffered: lines that arrive together must each be announced.
    def lines_arrived(source, condition):
        data = os.read(sys.stdin.fileno(), 4096)
        for line in data.split():
            settings.scheme = int(line)
            settings.SettingChanged(GROUP, KEY, dbus.UInt32(settings.scheme, variant_level=1))
        if not data:
            loop.quit()
        return bool(data)

    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, lines_arrived)
    print("ready", flush=True)
    loop.run()


if __name__ == "__main__":
    main()
