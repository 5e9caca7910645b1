"""Pellwick through the accessibility bus, as a screen reader meets it, on a virtual display.

    accessibility_test.py PELLWICK OUTPUT_DIR

With a stand-in desktop portal that prefers dark and two caches in the home; without a tray
the panel opens as a window. Exit status 77: a tool is missing.
"""

import contextlib
import importlib.util
import os
import re
import subprocess
import sys

from virtual_session import SKIP, VirtualSession, report, run_test, wait_until, write

HERE = os.path.dirname(os.path.abspath(__file__))
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def walk(node):
    for child in filter(None, node):
        yield child
        yield from walk(child)


class AccessibilityTest(VirtualSession):
    def __init__(self, root, program, output):
        super().__init__(root, os.path.join(HERE, "..", "support", "private-session-bus.conf"),
                         QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.program, self.output = program, output
        for cache, size in ((".npm/_cacache/content-v2/sha512/one", 300_000),
                            (".cache/pip/http/two", 200_000)):
            write(os.path.join(self.home, cache), os.urandom(size))
        self.start("at-spi-bus", [BUS_LAUNCHER, "--launch-immediately"])
        self.portal = self.start("portal", [
            "/usr/bin/python3", os.path.join(HERE, "..", "support", "fake_portal.py"), "1"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
        assert self.portal.stdout.readline().strip() == b"ready", "the portal did not start"

    def panel_background(self, shot=None):
        """The lightness (0-1) of the panel window's edge, or None before it shows."""
        windows = self.visible_windows("^Pellwick$")
        if not windows:
            return None
        shot = shot or os.path.join(self.root, "panel.png")
        self.run("import", "-window", windows[0], shot)
        value = self.run("convert", shot, "-colorspace", "gray", "-format", "%[fx:p{4,4}.r]",
                         "info:")
        return float(value) if value else None

    def test(self):
        # Imported only now: it finds the session's accessibility bus when it is imported.
        import pyatspi

        pellwick = self.start("pellwick", [self.program])
        wait_until(lambda: self.panel_background() is not None, "the panel window")
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_until(lambda: next((app for app in filter(None, desktop)
                                       if app.get_process_id() == pellwick.pid), None),
                         "Pellwick on the accessibility bus")

        def nodes(role, name=".*"):
            def matches(node):
                # A node can go away while it is read.
                with contextlib.suppress(Exception):
                    return node.getRole() == role and re.fullmatch(name, node.name or "")
            return [node for node in walk(app) if matches(node)]

        def checked(node):
            return node.getState().contains(pyatspi.STATE_CHECKED)

        rows = wait_until(lambda: len(found := nodes(pyatspi.ROLE_CHECK_BOX,
                                                     "npm cache|pip cache")) == 2 and found,
                          "the two rows", 30)
        for row in rows:
            assert re.fullmatch(r"Grows back, \d+ kB\. .+", row.description or "") and \
                checked(row) and row.getState().contains(pyatspi.STATE_FOCUSABLE), \
                "row %s (%r) is not a ticked, focusable check box" % (row.name, row.description)
        report("rows: " + "; ".join("%s (%s)" % (r.name, r.description) for r in rows))

        gauge = nodes(pyatspi.ROLE_PROGRESS_BAR)
        value = gauge[0].queryValue() if len(gauge) == 1 else None
        assert value and value.minimumValue == 0 and value.maximumValue == 100 and \
            "%d%% used" % value.currentValue == gauge[0].name, \
            "gauge %s, value %s" % ([g.name for g in gauge], value and value.currentValue)
        free = nodes(pyatspi.ROLE_LABEL, r".+ free")
        assert free, "no free-space label"
        report("gauge %s, header %r" % (gauge[0].name, free[0].name))

        def do(node, wanted):
            actions = node.queryAction()
            names = [actions.getName(i) for i in range(actions.nActions)]
            assert wanted in names, "%s offers %s, not %s" % (node.name, names, wanted)
            actions.doAction(names.index(wanted))

        def sweep_button():
            return wait_until(lambda: nodes(pyatspi.ROLE_PUSH_BUTTON, r"Sweep .+"),
                              "the sweep button's amount")[0]
        total = sweep_button().name
        npm = next(row for row in rows if row.name == "npm cache")
        do(npm, "Toggle")
        wait_until(lambda: not checked(npm), "the npm row to be unticked")
        smaller = wait_until(lambda: (name := sweep_button().name) != total and name,
                             "a smaller total")
        report("toggled npm cache off: %r became %r" % (total, smaller))
        do(sweep_button(), "Press")
        confirmation = wait_until(lambda: nodes(pyatspi.ROLE_LABEL,
                                                r"Sweep .+\? This can't be undone\."),
                                  "the confirmation")[0]
        do(nodes(pyatspi.ROLE_PUSH_BUTTON, "Sweep")[0], "Press")
        outcome = wait_until(lambda: nodes(pyatspi.ROLE_LABEL, r"Swept about .+"), "the outcome")
        report("swept: %r, then %r" % (confirmation.name, outcome[0].name))
        assert not os.listdir(os.path.join(self.home, ".cache", "pip")) and \
            os.listdir(os.path.join(self.home, ".npm", "_cacache")), \
            "the sweep did not empty exactly the ticked cache"

        dark = self.panel_background(os.path.join(self.output, "panel-dark.png"))
        assert dark <= 0.3, "the panel is not dark while the portal prefers dark (%.2f)" % dark
        self.portal.stdin.write(b"2\n")
        light = wait_until(lambda: (v := self.panel_background()) is not None and v > 0.7 and v,
                           "the panel to turn light")
        report("panel background lightness %.2f with dark preferred, %.2f after the switch"
               % (dark, light))


def main():
    # Only looked for: importing it now would tie it to the wrong session bus.
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: python3-pyatspi is not installed (scripts/setup installs it)")
        return SKIP
    return run_test("a11y", (BUS_LAUNCHER,), lambda root: AccessibilityTest(root, *sys.argv[1:3]))


if __name__ == "__main__":
    sys.exit(main())
