"""fake_portal.py SCHEME [--version1]: a desktop portal's Settings holding only the colour
scheme (0 no preference, 1 dark, 2 light), without ReadOne in --version1. Each line on stdin is
announced as a new value, even an unchanged one as real portals may do. Prints "ready"."""

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
