"""Pellwick through the accessibility bus, as a screen reader meets it, on a virtual display.

    accessibility_test.py PELLWICK OUTPUT_DIR

Xvfb, a private session bus with the AT-SPI bus (at-spi-bus-launcher, which starts the
registry) and a stand-in desktop portal that prefers dark, then the real program with a
temporary home holding two caches. There is no tray, so the panel opens as a window. The
test walks the application's accessibility tree with pyatspi and checks names, roles,
states and the gauge's value; unticks a row through its accessibility action; sweeps through
the buttons' actions and reads the outcome. Then the portal switches to light and the panel's
background must follow. Exit status 77: a tool is missing.
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys

from virtual_session import SKIP, Failure, VirtualSession, run_test, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
PORTAL = os.path.join(HERE, "..", "support", "fake_portal.py")
BUS_CONFIG = os.path.join(HERE, "..", "support", "private-session-bus.conf")
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class AccessibleSession(VirtualSession):
    """The session with the accessibility bus, a portal that prefers dark, and two caches."""

    def __init__(self, root):
        super().__init__(root, BUS_CONFIG, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.settings("[General]\nonboardingCompleted=true\n")
        for cache, size in ((".npm/_cacache/content-v2/sha512/one", 300_000),
                            (".cache/pip/http/two", 200_000)):
            path = os.path.join(self.home, cache)
            os.makedirs(os.path.dirname(path))
            with open(path, "wb") as data:
                data.write(os.urandom(size))
        self.start("at-spi-bus", [BUS_LAUNCHER, "--launch-immediately"])
        self.portal = self.start("portal", ["/usr/bin/python3", PORTAL, "1"],
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if self.portal.stdout.readline().strip() != b"ready":
            raise Failure("the stand-in portal did not start")

    def panel_background(self):
        """The lightness (0-1) of the panel window's edge, or None before it shows."""
        windows = self.visible_windows("^Pellwick$")
        if not windows:
            return None
        shot = os.path.join(self.root, "panel.png")
        self.run("import", "-window", windows[0], shot)
        value = self.run("convert", shot, "-colorspace", "gray", "-format",
                         "%[fx:p{4,4}.r]", "info:")
        return float(value) if value else None


def walk(accessible, depth=0):
    yield accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None and depth < 40:
            yield from walk(child, depth + 1)


def run(session, program, output, report):
    import pyatspi

    pellwick = session.start("pellwick", [program])
    wait_until(lambda: session.panel_background() is not None, "the panel window")

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() == pellwick.pid:
                return app
        return None
    app = wait_until(application, "Pellwick on the accessibility bus")

    def nodes(role=None, name=None):
        found = []
        for node in walk(app):
            try:
                if role is not None and node.getRole() != role:
                    continue
                if name is not None and not re.fullmatch(name, node.name or ""):
                    continue
                found.append(node)
            except Exception:
                continue
        return found

    def checked(node):
        return node.getState().contains(pyatspi.STATE_CHECKED)

    rows = wait_until(lambda: [r for r in nodes(pyatspi.ROLE_CHECK_BOX)
                               if r.name in ("npm cache", "pip cache")], "the rows", 30)
    if len(rows) != 2:
        raise Failure("rows: %s" % [r.name for r in rows])
    for row in rows:
        description = row.description or ""
        if not re.fullmatch(r"Grows back, \d+ kB\. .+", description):
            raise Failure("row %s reads %r" % (row.name, description))
        if not checked(row) or not row.getState().contains(pyatspi.STATE_FOCUSABLE):
            raise Failure("row %s is not a ticked, focusable check box" % row.name)
    report("rows: " + "; ".join("%s (%s)" % (r.name, r.description) for r in rows))

    gauge = nodes(pyatspi.ROLE_PROGRESS_BAR)
    if len(gauge) != 1 or not re.fullmatch(r"\d+% used", gauge[0].name):
        raise Failure("gauge: %s" % [g.name for g in gauge])
    value = gauge[0].queryValue()
    if not (value.minimumValue == 0 and value.maximumValue == 100 and
            "%d%% used" % value.currentValue == gauge[0].name):
        raise Failure("gauge value %s of %s..%s" % (value.currentValue, value.minimumValue,
                                                    value.maximumValue))
    free = nodes(pyatspi.ROLE_LABEL, r".+ free")
    if not free:
        raise Failure("no free-space label")
    report("gauge %s (value %d), header %r" % (gauge[0].name, value.currentValue, free[0].name))

    def sweep_button():
        buttons = nodes(pyatspi.ROLE_PUSH_BUTTON, r"Sweep .+|Nothing to sweep|Checking…")
        return buttons[0] if buttons else None
    total = wait_until(lambda: (b := sweep_button()) and b.name.startswith("Sweep ") and b.name,
                       "the sweep button's amount")

    def do(node, wanted):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        if wanted not in names:
            raise Failure("%s offers %s, not %s" % (node.name, names, wanted))
        actions.doAction(names.index(wanted))

    npm = next(r for r in rows if r.name == "npm cache")
    do(npm, "Toggle")
    wait_until(lambda: not checked(npm), "the npm row to be unticked")
    wait_until(lambda: (b := sweep_button()) and b.name != total, "a smaller total")
    report("toggled npm cache off: %r became %r" % (total, sweep_button().name))

    do(sweep_button(), "Press")
    confirmation = wait_until(lambda: nodes(pyatspi.ROLE_LABEL, r"Sweep .+\? This can't be undone\."),
                              "the confirmation")[0]
    do(nodes(pyatspi.ROLE_PUSH_BUTTON, "Sweep")[0], "Press")
    outcome = wait_until(lambda: nodes(pyatspi.ROLE_LABEL, r"Swept about .+"), "the outcome")[0]
    report("swept: %r, then %r" % (confirmation.name, outcome.name))
    if os.listdir(os.path.join(session.home, ".cache", "pip")) or \
            not os.listdir(os.path.join(session.home, ".npm", "_cacache")):
        raise Failure("the sweep did not empty exactly the ticked cache")

    dark = session.panel_background()
    shutil.copy(os.path.join(session.root, "panel.png"), os.path.join(output, "panel-dark.png"))
    if dark > 0.3:
        raise Failure("the panel is not dark while the portal prefers dark (%.2f)" % dark)
    session.portal.stdin.write(b"2\n")
    session.portal.stdin.flush()
    light = wait_until(lambda: (v := session.panel_background()) is not None and v > 0.7 and v,
                       "the panel to turn light")
    report("panel background lightness %.2f with dark preferred, %.2f after the switch"
           % (dark, light))


def main():
    program, output = sys.argv[1:3]
    # Only looked for: importing it now would tie it to the wrong session bus.
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: python3-pyatspi is not installed (scripts/setup installs it)")
        return SKIP
    return run_test("a11y", ("Xvfb", "dbus-daemon", "xdotool", "import", "convert", BUS_LAUNCHER),
                    AccessibleSession, lambda session, report: run(session, program, output,
                                                                   report))


if __name__ == "__main__":
    sys.exit(main())
