"""tray_host_test.py HOST PELLWICK OUTPUT_DIR, HOST gnome, kde, xfce, xembed or none: Pellwick's
item as a real tray host sees it (the watcher's items, the X window tree, screenshots), saving
OUTPUT_DIR/tray-HOST.png and panel-HOST.png. Exit status 77: the host is not installed."""

import os
import re
import sys
import time

import dbus

from virtual_session import SCREEN, VirtualSession, run_test, wait_until, write

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PANEL, WELCOME = "^Pellwick$", "^Welcome to Pellwick$"


class Host:
    sni, shows_label, context_menu = True, False, False
    bar_top, bar_height = 0, 32
    # The width of the item's icon: where the bar changes by more, the click goes to its middle.
    icon_width = SCREEN[0]
    files = {}

    def __init__(self, session):
        self.session = session
        for path, text in self.files.items():
            write(os.path.join(session.home, ".config", path), text)

    def start(self):
        self.processes = self.launch()
        wait_until(self.ready, self.name + " to start", 30)
        self.settle()

    def launch(self):
        return [self.session.start(command[0], command) for command in self.commands]

    def stop(self):
        for process in reversed(self.processes):
            self.session.stop(process)

    def ready(self):
        return self.session.bus.name_has_owner(WATCHER)

    def settle(self):
        # Hosts animate their start; the bar counts once drawn and no longer changing.
        first = self.session.bar("settle-0.png")

        def still():
            time.sleep(0.3)
            latest = self.session.bar("settle-1.png")
            drawn = self.session.run("convert", latest, "-format",
                                     "%[fx:standard_deviation]", "info:").strip() not in ("", "0")
            same = self.session.changed_area(first, latest) is None
            os.replace(latest, first)
            return drawn and same
        wait_until(still, "the bar to be drawn and settle", 30)

    def item_shown(self):
        return self.session.is_listed()

    def item_position(self, area):
        return area[0] + min(area[2], self.icon_width) // 2, area[1] + area[3] // 2


class GnomeShell(Host):
    name, shows_label = "gnome", True
    needs = ("gnome-shell", "/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com")
    files = {"glib-2.0/settings/keyfile": "[org/gnome/shell]\n"
             "enabled-extensions=['ubuntu-appindicators@ubuntu.com']\n"
             "welcome-dialog-last-shown-version='999'\n"}
    commands = [["gnome-shell", "--x11", "--replace"]]

    def __init__(self, session):
        super().__init__(session)
        # GNOME Shell refuses to start without a system bus; logind is the one service it needs.
        session.env["DBUS_SYSTEM_BUS_ADDRESS"] = session.start_bus("system")
        session.start("logind", ["/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "logind"])
        system = dbus.bus.BusConnection(session.env["DBUS_SYSTEM_BUS_ADDRESS"])
        wait_until(lambda: system.name_has_owner("org.freedesktop.login1"), "logind")

    def settle(self):
        # The shell starts in the overview, which hides every window; leave it.
        def overview_left():
            shell = ("org.gnome.Shell", "/org/gnome/Shell", dbus.PROPERTIES_IFACE)
            active = self.session.call(*shell, "Get", "org.gnome.Shell", "OverviewActive")
            if active:
                self.session.call(*shell, "Set", "org.gnome.Shell", "OverviewActive", False)
            return not active
        super().settle()
        wait_until(overview_left, "the shell to leave the overview")
        super().settle()


class XfcePanel(Host):
    name, context_menu, needs = "xfce", True, ("xfce4-panel", "xfwm4")
    files = {"xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml": """\
<channel name="xfce4-panel" version="1.0">
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
"""}
    commands = [["xfwm4", "--compositor=off"], ["xfce4-panel", "--disable-wm-check"]]


class KdePlasma(Host):
    name, bar_height, bar_top = "kde", 44, SCREEN[1] - 44
    needs = ("plasmashell", "kded5", "/usr/share/plasma/shells/org.kde.plasma.desktop")
    # The tray's other icons move aside for the new one, which is the change's left end.
    icon_width = 22

    def launch(self):
        self.session.env.update(XDG_CURRENT_DESKTOP="KDE", KDE_FULL_SESSION="true",
                                KDE_SESSION_VERSION="5")
        kded = self.session.start("kded5", ["kded5"])
        # Plasma's watcher is a module of kded, loaded at login by the session.
        wait_until(lambda: self.session.bus.name_has_owner("org.kde.kded5"), "kded")
        self.session.call("org.kde.kded5", "/kded", "org.kde.kded5", "loadModule",
                          "statusnotifierwatcher")
        return [kded, self.session.start("plasmashell", ["plasmashell", "--no-respawn"])]


class XEmbedTray(Host):
    name, sni, needs = "xembed", False, ("trayer",)
    commands = [["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                 "--height", "30", "--transparent", "false", "--tint", "0x303030"]]

    def ready(self):
        return self.session.run("xdotool", "search", "--onlyvisible", "--class", "trayer").split()

    def item_shown(self):
        tray = self.ready()
        return tray and '("pellwick" "pellwick")' in self.session.run("xwininfo", "-tree", "-id",
                                                                      tray[0])


class TrayTest(VirtualSession):
    """Pellwick beside a tray host (or none), seen through the bus, X and screenshots."""

    def __init__(self, root, host, program, output):
        super().__init__(root, GSETTINGS_BACKEND="keyfile", NO_AT_BRIDGE="1")
        self.program, self.output, self.last_click = program, output, 0.0
        self.bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.start("item-drops", ["dbus-monitor", "--session", "type='signal',interface='%s',"
                                  "member='StatusNotifierItemUnregistered'" % WATCHER])
        self.host = host and host(self)

    def call(self, name, path, interface, method, *args):
        return getattr(self.bus.get_object(name, path), method)(*args, dbus_interface=interface)

    def item_service(self):
        prefix = "%s-%d-" % (ITEM, self.pellwick.pid)
        return next((str(n) for n in self.bus.list_names() if n.startswith(prefix)), None)

    def is_listed(self):
        service = self.item_service()
        try:
            items = self.call(WATCHER, "/StatusNotifierWatcher", dbus.PROPERTIES_IFACE, "Get",
                              WATCHER, "RegisteredStatusNotifierItems")
            owner = service and self.bus.get_name_owner(service)
        except dbus.DBusException:
            return False
        return bool(service) and any(re.split("[/@]", str(entry))[0] in (service, owner)
                                     for entry in items)

    def item_dropped_since(self, moment):
        with open(os.path.join(self.root, "item-drops.log")) as log:
            times = re.findall(r"time=([\d.]+) .*StatusNotifierItemUnregistered", log.read())
        return any(float(time) > moment for time in times)

    def bar(self, name):
        path = os.path.join(self.root, name)
        self.run("import", "-window", "root", "-crop", "%dx%d+0+%d" % (
            SCREEN[0], self.host.bar_height, self.host.bar_top), "+repage", path)
        return path

    def changed_area(self, before, after):
        """The box (x, y, width, height) where two bar screenshots differ in the bar's right
        part, where trays sit (the left part holds GNOME's clock), or None."""
        left = SCREEN[0] * 3 // 5
        crop = "%dx%d+%d+0" % (SCREEN[0] - left, self.host.bar_height, left)
        box = self.run("convert", before, after, "-crop", crop, "+repage", "-compose",
                       "Difference", "-composite",
                       "-colorspace", "gray", "-threshold", "8%", "-format", "%@", "info:")
        match = re.match(r"(\d+)x(\d+)\+(\d+)\+(\d+)", box)
        width, height, x, y = map(int, match.groups()) if match else (0, 0, 0, 0)
        return None if width * height <= 1 else (x + left, y + self.host.bar_top, width, height)

    def show_item(self, before, name):
        """Waits until the host lists the item and the bar shows it, unchanging for a moment."""
        def shown():
            areas = [self.host.item_shown() and self.changed_area(before, self.bar(name))
                     for _ in (0, 1)]
            return areas[0] == areas[1] and areas[0]
        return wait_until(shown, "the item to appear in the bar")

    def click(self, x, y, button=1):
        # Never twice within a double-click time: GNOME's host would see one.
        time.sleep(max(0, self.last_click + 0.6 - time.monotonic()))
        self.run("xdotool", "mousemove", str(x), str(y), "click", str(button))
        self.last_click = time.monotonic()

    def panel_windows(self):
        return self.visible_windows(PANEL)

    def toggle(self, x, y, opens):
        # Clicks again only if the host dropped the item meanwhile: GNOME's extension can drop
        # an item under load until it registers again.
        for _ in range(3):
            clicked = time.time()
            self.click(x, y)
            try:
                return wait_until(lambda: bool(self.panel_windows()) == opens,
                                  "a click to %s the panel" % ("open" if opens else "close"))
            except AssertionError:
                if not self.item_dropped_since(clicked - 3):
                    raise
            wait_until(self.host.item_shown, "the dropped item to come back")
            self.host.settle()
        raise AssertionError("the host keeps dropping the item")

    def panel_opens_at(self, x, y):
        # Below a top bar, above a bottom one.
        px, py, width, height = geometry = self.geometry(wait_until(self.panel_windows,
                                                                    "the panel")[0])
        top, bar = self.host.bar_top, self.host.bar_height
        beside_bar = 0 <= py <= bar + 12 if top == 0 else top - 12 <= py + height <= top + bar
        assert px <= x <= px + width and beside_bar and px + width <= SCREEN[0] and height > 200, \
            "panel at %s is not beside the bar at the click at %d,%d" % (geometry, x, y)
        return geometry

    def save_drawn_panel(self, closed, geometry):
        shown = os.path.join(self.root, "panel-shown.png")
        crop = "[%dx%d+%d+%d]" % (geometry[2:] + geometry[:2])

        def drawn():
            self.run("import", "-window", "root", shown)
            difference = self.run("compare", "-metric", "AE", "-fuzz", "8%", closed + crop,
                                  shown + crop, "null:", stderr=True)
            return float(difference.split()[0] or 0) > geometry[2] * geometry[3] / 2
        wait_until(drawn, "the panel to be drawn on the screen")
        top = 0 if self.host.bar_top == 0 else SCREEN[1] - 500
        self.run("convert", shown, "-crop", "480x500+%d+%d" % (SCREEN[0] - 480, top), "+repage",
                 os.path.join(self.output, "panel-%s.png" % self.host.name))

    def check_clicks(self, x, y, save_panel=False):
        closed = os.path.join(self.root, "panel-closed.png")
        self.run("import", "-window", "root", closed)
        for closer, close in (("the next click", lambda: self.toggle(x, y, False)),
                              ("Escape", lambda: self.run("xdotool", "key", "Escape")),
                              ("a click on the desktop",
                               lambda: self.click(SCREEN[0] // 3, SCREEN[1] // 2))):
            self.toggle(x, y, True)
            geometry = self.panel_opens_at(x, y)
            if save_panel:
                self.save_drawn_panel(closed, geometry)
                save_panel = False
            close()
            wait_until(lambda: not self.panel_windows(), closer + " to close the panel")

    def menu_entry(self, x, y, fraction):
        def menu():
            for window in self.visible_windows("."):
                mx, my, width, height = self.geometry(window)
                if my >= self.host.bar_height - 4 and 40 <= height <= 120 and \
                        mx <= x <= mx + width + 20:
                    return mx, my, width, height
        self.click(x, y, 3)
        mx, my, width, height = wait_until(menu, "the item's menu to open")
        self.click(mx + width // 2, my + int(height * fraction))

    def check_item_properties(self, area):
        # A host that drops an item does so within seconds of accepting it.
        assert self.is_listed(), "the watcher dropped the item"
        stats = os.statvfs(self.home)
        gigabytes = (stats.f_bavail * stats.f_frsize + 500_000_000) // 1_000_000_000
        title, icon_name = (str(self.call(self.item_service(), "/StatusNotifierItem",
                                          dbus.PROPERTIES_IFACE, "Get", ITEM, name))
                            for name in ("Title", "IconName"))
        assert abs(int(title.split()[0]) - gigabytes) <= 1, "%r, %d GB free" % (title, gigabytes)
        # A host that shows a label gets a symbol beside it, which widens the item; the others
        # get the figure drawn as the icon.
        assert self.host.shows_label == (icon_name != "") and (not icon_name or area[2] >= 40), \
            "IconName %r, changed area %s where the host shows %s label" % (
                icon_name, area, "a" if self.host.shows_label else "no")

    def test(self):
        # The item comes, one click opens the panel under it and the next closes it; the host
        # restarts and gets the item back; a host that starts after Pellwick takes over from the
        # window Pellwick fell back to; the first start's welcome window is centred.
        host = self.host
        if not host:
            return self.test_no_tray()
        host.start()
        before = self.bar("bar-before.png")
        self.pellwick = self.start("pellwick", [self.program])
        area = self.show_item(before, "bar-after.png")
        assert not self.visible_windows(WELCOME), "the welcome window opened after onboarding"
        self.run("convert", os.path.join(self.root, "bar-after.png"), "-crop", "480x%d+%d+0" % (
            host.bar_height, SCREEN[0] - 480), "+repage",
            os.path.join(self.output, "tray-%s.png" % host.name))
        x, y = host.item_position(area)
        self.check_clicks(x, y, save_panel=True)
        if host.context_menu:
            self.menu_entry(x, y, 1 / 4)
            self.panel_opens_at(x, y)
            self.toggle(x, y, False)
        if host.sni:
            self.check_item_properties(area)

        host.stop()
        host.start()
        area = self.show_item(before, "bar-restarted.png")
        if host.context_menu:
            self.menu_entry(*host.item_position(area), 3 / 4)
            wait_until(lambda: self.pellwick.poll() is not None, "the menu's Quit to end Pellwick")
        self.stop(self.pellwick)
        host.stop()
        self.pellwick = self.start("pellwick", [self.program])
        wait_until(self.panel_windows, "the panel to open as a window without a tray")
        host.start()
        wait_until(lambda: not self.panel_windows(), "the item to take over from the window")
        self.check_clicks(*host.item_position(self.show_item(before, "bar-late.png")))
        self.stop(self.pellwick)
        self.welcome_centred()

    def welcome_centred(self):
        # On the first start the welcome window, frame included, stands at the work area's
        # centre, wherever the window manager puts new windows (GNOME cascades, Xfce a corner).
        os.remove(self.settings)
        self.pellwick = self.start("pellwick", [self.program])
        window = wait_until(lambda: self.visible_windows(WELCOME), "the welcome window")[0]
        ax, ay, aw, ah = self.numbers("-root", "_NET_WORKAREA")[:4] or (0, 0) + SCREEN

        def offset():
            # The window's own area, widened by the frame the window manager announces.
            xwininfo = self.run("xwininfo", "-id", window)
            x, y, width, height = map(int, re.findall(
                r"(?:Absolute upper-left .|Width|Height):\s+(-?\d+)", xwininfo))
            left, right, top, bottom = self.numbers("-id", window, "_NET_FRAME_EXTENTS")[:4] or \
                (0, 0, 0, 0)
            return (x + (width + right - left) // 2 - ax - aw // 2,
                    y + (height + bottom - top) // 2 - ay - ah // 2)
        wait_until(lambda: all(abs(d) <= 4 for d in offset()), "the welcome window at the "
                   "centre of the work area %d,%d %dx%d" % (ax, ay, aw, ah), 10)
        return window

    def numbers(self, *arguments):
        return [int(n) for n in re.findall(r"-?\d+", self.run("xprop", *arguments)
                                           .split("=")[-1])]

    def test_no_tray(self):
        # The welcome window opens too (onboarding not completed): they must not overlap.
        b = self.geometry(self.welcome_centred())
        a = self.geometry(wait_until(self.panel_windows, "the panel to open as a window")[0])
        assert a[0] + a[2] <= b[0] or b[0] + b[2] <= a[0] or a[1] + a[3] <= b[1] or \
            b[1] + b[3] <= a[1], "panel %s and welcome window %s overlap" % (a, b)


HOSTS = {host.name: host for host in (GnomeShell, KdePlasma, XfcePanel, XEmbedTray)}


def main():
    name, program, output = sys.argv[1:4]
    host = HOSTS.get(name)
    tools = ("dbus-monitor", "xwininfo", "xprop") + (host.needs if host else ())
    return run_test(name, tools, lambda root: TrayTest(root, host, program, output))


if __name__ == "__main__":
    sys.exit(main())
