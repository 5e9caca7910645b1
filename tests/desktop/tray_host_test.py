"""Pellwick's tray item on a real tray host, on a virtual X display.

    tray_host_test.py HOST PELLWICK OUTPUT_DIR     HOST: gnome, kde, xfce, xembed or none

Everything runs under Xvfb with a private session bus (and for GNOME Shell a private system
bus with a stand-in logind) and a temporary HOME, so nothing reaches the user's desktop. The
checks read the host's own state: the watcher's registered items over D-Bus, the X window
tree, and screenshots of the bar before and after Pellwick starts (the bar with the item is
saved in OUTPUT_DIR as tray-HOST.png). Then one click opens the panel under the item and the
next closes it; Escape closes it; the host restarts and gets the item back; and a host that
starts after Pellwick takes over from the window Pellwick fell back to.
Exit status 77 means the host cannot run on this machine (ctest reports the test skipped).
"""

import os
import re
import shutil
import sys
import time

import dbus

from virtual_session import SCREEN, SKIP, Failure, VirtualSession, run_test, wait_until

BAR_HEIGHT = 32
WATCHER = "org.kde.StatusNotifierWatcher"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
WELCOME_SLACK = 4


class TraySession(VirtualSession):
    """The session with the bar a tray host draws, seen through screenshots."""

    def __init__(self, root):
        super().__init__(root, GSETTINGS_BACKEND="keyfile", NO_AT_BRIDGE="1")
        self.bar_top = 0  # KDE's panel is at the bottom of the screen
        self.bar_height = BAR_HEIGHT
        self.last_click = 0.0
        self.bus_connection = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        self.start("item-drops", ["dbus-monitor", "--session", "type='signal',interface='%s',"
                                  "member='StatusNotifierItemUnregistered'" % WATCHER])

    def item_dropped_since(self, moment):
        """Whether a watcher dropped an item after that wall-clock time."""
        with open(os.path.join(self.root, "item-drops.log")) as log:
            times = re.findall(r"time=([\d.]+) .*StatusNotifierItemUnregistered", log.read())
        return any(float(time) > moment for time in times)

    def bar(self, path):
        self.run("import", "-window", "root", "-crop",
                 "%dx%d+0+%d" % (SCREEN[0], self.bar_height, self.bar_top), "+repage", path)
        return path

    def changed_area(self, before, after):
        """The box (x, y, width, height) where two bar screenshots differ in the bar's right
        part, where trays sit (the left part holds GNOME's clock), or None."""
        left = SCREEN[0] * 3 // 5
        crop = "%dx%d+%d+0" % (SCREEN[0] - left, self.bar_height, left)
        box = self.run("convert", before, after, "-crop", crop, "+repage", "-compose",
                       "Difference", "-composite",
                       "-colorspace", "gray", "-threshold", "8%", "-format", "%@", "info:")
        match = re.match(r"(\d+)x(\d+)\+(\d+)\+(\d+)", box)
        if not match:
            return None
        width, height, x, y = map(int, match.groups())
        return None if width * height <= 1 else (x + left, y + self.bar_top, width, height)


class Pellwick:
    def __init__(self, session, program):
        self.session = session
        self.process = session.start("pellwick", [program])

    def service(self):
        prefix = "%s-%d-" % (ITEM_INTERFACE, self.process.pid)
        names = [str(n) for n in self.session.bus_connection.list_names()]
        return next((n for n in names if n.startswith(prefix)), None)

    def item_property(self, name):
        item = self.session.bus_connection.get_object(self.service(), "/StatusNotifierItem")
        return item.Get(ITEM_INTERFACE, name, dbus_interface=dbus.PROPERTIES_IFACE)

    def is_listed(self):
        service = self.service()
        if not service:
            return False
        try:
            watcher = self.session.bus_connection.get_object(WATCHER, "/StatusNotifierWatcher")
            items = watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                                dbus_interface=dbus.PROPERTIES_IFACE)
        except dbus.DBusException:
            return False
        owner = self.session.bus_connection.get_name_owner(service)
        return any(re.split("[/@]", str(entry))[0] in (service, owner) for entry in items)

    def quit(self):
        self.session.stop(self.process)


def expected_gigabytes(home):
    stats = os.statvfs(home)
    return (stats.f_bavail * stats.f_frsize + 500_000_000) // 1_000_000_000


class Host:
    """A tray host: how to start it and how to see that Pellwick's item is in it."""

    sni = True
    shows_label = False
    context_menu = False

    def __init__(self, session):
        self.session = session
        self.processes = []

    def start(self):
        self.processes = self.launch()
        wait_until(self.ready, self.name + " to start", 30)
        self.settle()

    def stop(self):
        for process in reversed(self.processes):
            self.session.stop(process)
        self.processes = []

    def ready(self):
        return self.session.bus_connection.name_has_owner(WATCHER)

    def settle(self):
        """Waits until the bar is drawn and stops changing (start-up animations)."""
        shots = [os.path.join(self.session.root, "settle-%d.png" % i) for i in (0, 1)]
        self.session.bar(shots[0])

        def still():
            time.sleep(0.3)
            self.session.bar(shots[1])
            drawn = self.session.run("convert", shots[1], "-format",
                                     "%[fx:standard_deviation]", "info:").strip() not in ("", "0")
            same = self.session.changed_area(shots[0], shots[1]) is None
            os.replace(shots[1], shots[0])
            return drawn and same
        wait_until(still, "the bar to be drawn and settle", 30)

    def item_shown(self, pellwick):
        return pellwick.is_listed()

    def item_position(self, area):
        """Where to click the item, given the part of the bar that changed when it came."""
        return area[0] + area[2] // 2, area[1] + area[3] // 2


class GnomeShell(Host):
    name = "gnome"
    shows_label = True

    @staticmethod
    def available():
        return shutil.which("gnome-shell") and os.path.isdir(
            "/usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com")

    def launch(self):
        settings = os.path.join(self.session.env["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(settings, exist_ok=True)
        with open(os.path.join(settings, "keyfile"), "w") as keyfile:
            keyfile.write("[org/gnome/shell]\n"
                          "enabled-extensions=['ubuntu-appindicators@ubuntu.com']\n"
                          "welcome-dialog-last-shown-version='999'\n")
        # GNOME Shell refuses to start without a system bus; logind is the one service it needs.
        if "DBUS_SYSTEM_BUS_ADDRESS" not in self.session.env:
            self.session.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.session.bus("system")
            self.session.start("logind", ["/usr/bin/python3", "-m", "dbusmock", "--system",
                                          "-t", "logind"])
            system = dbus.bus.BusConnection(self.session.env["DBUS_SYSTEM_BUS_ADDRESS"])
            wait_until(lambda: system.name_has_owner("org.freedesktop.login1"), "logind")
        return [self.session.start("gnome-shell", ["gnome-shell", "--x11", "--replace"])]

    def settle(self):
        # The shell starts in the overview, which hides every window; leave it.
        def overview_active():
            return self.session.run("gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o",
                                    "/org/gnome/Shell", "-m", "org.freedesktop.DBus.Properties.Get",
                                    "org.gnome.Shell", "OverviewActive")

        def overview_left():
            if "false" in overview_active():
                return True
            self.session.run("gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o",
                             "/org/gnome/Shell", "-m", "org.freedesktop.DBus.Properties.Set",
                             "org.gnome.Shell", "OverviewActive", "<false>")
            return False
        super().settle()
        wait_until(overview_left, "the shell to leave the overview")
        super().settle()


class XfcePanel(Host):
    name = "xfce"
    context_menu = True
    panel_xml = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
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
"""

    @staticmethod
    def available():
        return shutil.which("xfce4-panel") and shutil.which("xfwm4")

    def launch(self):
        channel = os.path.join(self.session.env["XDG_CONFIG_HOME"], "xfce4", "xfconf",
                               "xfce-perchannel-xml")
        os.makedirs(channel, exist_ok=True)
        with open(os.path.join(channel, "xfce4-panel.xml"), "w") as panel:
            panel.write(self.panel_xml)
        return [self.session.start("xfwm4", ["xfwm4", "--compositor=off"]),
                self.session.start("xfce4-panel", ["xfce4-panel", "--disable-wm-check"])]


class KdePlasma(Host):
    name = "kde"

    @staticmethod
    def available():
        return shutil.which("plasmashell") and shutil.which("kded5") and os.path.isdir(
            "/usr/share/plasma/shells/org.kde.plasma.desktop")

    def launch(self):
        self.session.bar_height = 44
        self.session.bar_top = SCREEN[1] - self.session.bar_height
        self.session.env.update({"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
                                 "KDE_SESSION_VERSION": "5"})
        kded = self.session.start("kded5", ["kded5"])
        # Plasma's watcher is a module of kded, loaded at login by the session.
        wait_until(lambda: self.session.bus_connection.name_has_owner("org.kde.kded5"), "kded")
        self.session.run("gdbus", "call", "--session", "-d", "org.kde.kded5", "-o", "/kded",
                         "-m", "org.kde.kded5.loadModule", "statusnotifierwatcher")
        return [kded, self.session.start("plasmashell", ["plasmashell", "--no-respawn"])]

    def item_position(self, area):
        # The tray's other icons move aside for the new one, which is the change's left end.
        return area[0] + min(area[2], 22) // 2, area[1] + area[3] // 2


class XEmbedTray(Host):
    name = "xembed"
    sni = False

    @staticmethod
    def available():
        return shutil.which("trayer")

    def launch(self):
        return [self.session.start("trayer", [
            "trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
            "--height", "30", "--transparent", "false", "--tint", "0x303030"])]

    def tray_window(self):
        found = self.session.run("xdotool", "search", "--onlyvisible", "--class", "trayer")
        return found.split()[0] if found.split() else None

    def ready(self):
        return self.tray_window()

    def item_shown(self, pellwick):
        """Pellwick's icon window is embedded in the tray's window tree."""
        window = self.tray_window()
        tree = self.session.run("xwininfo", "-tree", "-id", window) if window else ""
        return '("pellwick" "pellwick")' in tree


def click(session, x, y, button=1):
    """Clicks as a person does: never two clicks within a double-click time (GNOME's host
    turns those into a double click)."""
    pause = session.last_click + 0.6 - time.monotonic()
    if pause > 0:
        time.sleep(pause)
    session.run("xdotool", "mousemove", str(x), str(y), "click", str(button))
    session.last_click = time.monotonic()


def panel_windows(session):
    return session.visible_windows("^Pellwick$")


def check_panel_opens_under(session, x, y):
    """The panel is open, beside the bar (below a top bar, above a bottom one), around x."""
    window = wait_until(lambda: panel_windows(session), "the panel to open")[0]
    px, py, width, height = wait_until(lambda: session.geometry(window), "the panel's geometry")
    if session.bar_top == 0:
        beside_bar = 0 <= py <= BAR_HEIGHT + 12
    else:
        beside_bar = session.bar_top - 12 <= py + height <= session.bar_top + session.bar_height
    if not (px <= x <= px + width and beside_bar and px + width <= SCREEN[0] and height > 200):
        raise Failure("panel at %d,%d %dx%d is not beside the bar at the click at %d,%d"
                      % (px, py, width, height, x, y))
    return px, py, width, height


def save_drawn_panel(session, closed, geometry, shot):
    """Waits until the screen shows the panel where it was placed, then saves that corner."""
    shown = os.path.join(session.root, "panel-shown.png")
    crop = "%dx%d+%d+%d" % (geometry[2], geometry[3], geometry[0], geometry[1])

    def drawn():
        session.run("import", "-window", "root", shown)
        difference = session.run("compare", "-metric", "AE", "-fuzz", "8%", closed + "[%s]" % crop,
                                 shown + "[%s]" % crop, "null:", stderr=True)
        return float(difference.split()[0] or 0) > geometry[2] * geometry[3] / 2
    wait_until(drawn, "the panel to be drawn on the screen")
    top = 0 if session.bar_top == 0 else SCREEN[1] - 500
    session.run("convert", shown, "-crop", "480x500+%d+%d" % (SCREEN[0] - 480, top), "+repage",
                shot)


def click_item(session, host, pellwick, x, y, outcome, what):
    """Clicks the item and waits for the outcome. The click is repeated only when the host
    dropped the item meanwhile: GNOME's extension can fail to set an item up under load and
    drop it, and Pellwick registers again a second later; a click in between reaches nobody."""
    for _ in range(3):
        clicked = time.time()
        click(session, x, y)
        try:
            return wait_until(outcome, what)
        except Failure:
            if not session.item_dropped_since(clicked - 3):
                raise
        wait_until(lambda: host.item_shown(pellwick), "the dropped item to come back")
        host.settle()
    raise Failure("the host keeps dropping the item")


def check_clicks(session, host, pellwick, x, y, report, shot=None):
    closed = os.path.join(session.root, "panel-closed.png")
    session.run("import", "-window", "root", closed)

    def toggle(opens, what):
        return click_item(session, host, pellwick, x, y,
                          lambda: bool(panel_windows(session)) == opens, what)
    toggle(True, "a click to open the panel")
    geometry = check_panel_opens_under(session, x, y)
    if shot:
        save_drawn_panel(session, closed, geometry, shot)
    report("a click at %d,%d opens the panel at %s" % (x, y, geometry))
    toggle(False, "the next click to close the panel")
    toggle(True, "a click to open the panel")
    check_panel_opens_under(session, x, y)
    session.run("xdotool", "key", "Escape")
    wait_until(lambda: not panel_windows(session), "Escape to close the panel")
    toggle(True, "a click to open the panel")
    check_panel_opens_under(session, x, y)
    click(session, SCREEN[0] // 3, SCREEN[1] // 2)
    wait_until(lambda: not panel_windows(session), "a click on the desktop to close the panel")
    report("the next click closes it, every time; Escape and a click on the desktop close it")


def open_context_menu(session, x, y):
    """Right-clicks the item at x, y and answers the geometry of the menu it opens."""
    def menu():
        for window in session.visible_windows("."):
            mx, my, width, height = session.geometry(window)
            if my >= BAR_HEIGHT - 4 and 40 <= height <= 120 and mx <= x <= mx + width + 20:
                return mx, my, width, height
        return None
    click(session, x, y, 3)
    return wait_until(menu, "the item's menu to open")


def check_context_menu(session, x, y, report):
    """A right click shows Pellwick's own menu, whose first entry opens the panel."""
    mx, my, width, height = open_context_menu(session, x, y)
    click(session, mx + width // 2, my + height // 4)
    check_panel_opens_under(session, x, y)
    session.run("xdotool", "key", "Escape")
    wait_until(lambda: not panel_windows(session), "Escape to close the panel")
    report("right click: a menu %dx%d whose first entry opens the panel" % (width, height))


def quit_from_context_menu(session, pellwick, x, y, report):
    mx, my, width, height = open_context_menu(session, x, y)
    click(session, mx + width // 2, my + height * 3 // 4)
    wait_until(lambda: pellwick.process.poll() is not None, "the menu's Quit to end Pellwick")
    report("the menu's second entry quits Pellwick")


def show_item(session, host, pellwick, before, name):
    """Waits until the host lists the item and the bar shows it, unchanging for a moment."""
    after = os.path.join(session.root, name)
    last = [None]

    def shown():
        if not host.item_shown(pellwick):
            return None
        area, last[0] = last[0], session.changed_area(before, session.bar(after))
        return area if area and area == last[0] else None
    return wait_until(shown, "the item to appear in the bar", 20), after


def test_host(session, host, program, output, report):
    host.start()
    before = session.bar(os.path.join(session.root, "bar-before.png"))
    started = time.monotonic()
    pellwick = Pellwick(session, program)
    area, after = show_item(session, host, pellwick, before, "bar-after.png")
    report("item shown in the bar after %.1f s, changed area %s" % (time.monotonic() - started,
                                                                    area))
    session.run("convert", after, "-crop", "480x%d+%d+0" % (session.bar_height, SCREEN[0] - 480),
                "+repage", os.path.join(output, "tray-%s.png" % host.name))
    x, y = host.item_position(area)
    check_clicks(session, host, pellwick, x, y, report,
                 os.path.join(output, "panel-%s.png" % host.name))
    if host.context_menu:
        check_context_menu(session, x, y, report)
    if host.sni:
        # A host that drops an item does so within seconds of accepting it.
        if not pellwick.is_listed():
            raise Failure("the watcher dropped the item")
        gigabytes = expected_gigabytes(session.env["HOME"])
        title = str(pellwick.item_property("Title"))
        if abs(int(title.split()[0]) - gigabytes) > 1:
            raise Failure("title %r, free space is %d GB" % (title, gigabytes))
        icon_name = str(pellwick.item_property("IconName"))
        if host.shows_label != (icon_name != ""):
            raise Failure("figure in the icon (IconName %r) where the host %s a label"
                          % (icon_name, "shows" if host.shows_label else "shows no"))
        if host.shows_label and area[2] < 40:
            raise Failure("the changed area %s is too narrow for the label %r" % (area, title))
        report("still listed by the watcher; title %r (statvfs says %d GB); IconName %r"
               % (title, gigabytes, icon_name))

    host.stop()
    host.start()
    area, _ = show_item(session, host, pellwick, before, "bar-restarted.png")
    report("host restarted: item back at %s" % (area,))
    if host.context_menu:
        quit_from_context_menu(session, pellwick, *host.item_position(area), report)
    pellwick.quit()
    host.stop()
    pellwick = Pellwick(session, program)
    wait_until(lambda: panel_windows(session), "the panel to open as a window without a tray")
    report("without a tray the panel opens as a window")
    host.start()
    wait_until(lambda: not panel_windows(session), "the item to take over from the window")
    area, _ = show_item(session, host, pellwick, before, "bar-late.png")
    check_clicks(session, host, pellwick, *host.item_position(area), report)
    report("a host started after Pellwick shows the item; the panel drops down from it")
    pellwick.quit()
    os.remove(os.path.join(session.env["XDG_CONFIG_HOME"], "pellwick", "pellwick.conf"))
    pellwick = Pellwick(session, program)
    check_welcome_centred(session, report)
    pellwick.quit()


def work_area(session):
    values = re.findall(r"\d+", session.run("xprop", "-root", "_NET_WORKAREA").split("=")[-1])
    return tuple(map(int, values[:4])) if len(values) >= 4 else (0, 0) + SCREEN


def frame_geometry(session, window):
    """The window with the window manager's frame: its own area from xwininfo, widened by the
    frame extents the window manager announces (none without one)."""
    info = session.run("xwininfo", "-id", window)
    values = {key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
              for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")}
    extents = re.findall(r"\d+", session.run("xprop", "-id", window, "_NET_FRAME_EXTENTS")
                         .split("=")[-1])
    left, right, top, bottom = map(int, extents[:4]) if len(extents) >= 4 else (0, 0, 0, 0)
    return (values["Absolute upper-left X"] - left, values["Absolute upper-left Y"] - top,
            values["Width"] + left + right, values["Height"] + top + bottom)


def check_welcome_centred(session, report):
    """The welcome window, frame included, stands at the centre of the work area, wherever the
    window manager would have put it (GNOME cascades new windows, Xfce puts them in a
    corner)."""
    window = wait_until(lambda: session.visible_windows("^Welcome to Pellwick$"),
                        "the welcome window")[0]
    x, y, width, height = work_area(session)

    def offset():
        fx, fy, fw, fh = frame_geometry(session, window)
        return (fx + fw // 2 - (x + width // 2), fy + fh // 2 - (y + height // 2))
    try:
        wait_until(lambda: all(abs(d) <= WELCOME_SLACK for d in offset()),
                   "the welcome window at the centre", 10)
    except Failure:
        raise Failure("the welcome window is %s from the work area's centre (%d,%d %dx%d)"
                      % (offset(), x, y, width, height))
    report("welcome window centred (%+d, %+d from the work area's centre)" % offset())


def test_no_tray(session, program, report):
    # The welcome window opens too (onboarding not completed): they must not overlap.
    pellwick = Pellwick(session, program)
    panel = wait_until(lambda: panel_windows(session), "the panel to open as a window", 20)[0]
    welcome = wait_until(lambda: session.visible_windows("^Welcome to Pellwick$"),
                         "the welcome window")[0]
    a, b = session.geometry(panel), session.geometry(welcome)
    overlap = not (a[0] + a[2] <= b[0] or b[0] + b[2] <= a[0] or
                   a[1] + a[3] <= b[1] or b[1] + b[3] <= a[1])
    if overlap:
        raise Failure("panel %s and welcome window %s overlap" % (a, b))
    report("no tray: panel window at %s, welcome window at %s" % (a, b))
    check_welcome_centred(session, report)
    pellwick.quit()


HOSTS = {"gnome": GnomeShell, "kde": KdePlasma, "xfce": XfcePanel, "xembed": XEmbedTray}


def main():
    host_name, program, output = sys.argv[1:4]
    host_class = HOSTS.get(host_name)
    if host_class and not host_class.available():
        print("SKIP: the %s host is not installed (scripts/setup installs it)" % host_name)
        return SKIP

    def test(session, report):
        if not host_class:
            test_no_tray(session, program, report)
            return
        session.settings("[General]\nonboardingCompleted=true\n")
        test_host(session, host_class(session), program, output, report)
    tools = ("Xvfb", "dbus-daemon", "dbus-monitor", "xdotool", "xwininfo", "xprop", "import",
             "convert")
    return run_test(host_name, tools, TraySession, test)


if __name__ == "__main__":
    sys.exit(main())
