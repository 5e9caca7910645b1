"""accessibility_test.py PELLWICK OUTPUT_DIR: Pellwick's panel as a screen reader meets it,
with two caches in the home and a stand-in portal preferring dark. Exit status 77: a tool is
missing."""

import os
import re
import subprocess
import sys

from virtual_session import VirtualSession, run_test, wait_until, write

HERE = os.path.dirname(os.path.abspath(__file__))
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


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
            return pyatspi.findAllDescendants(app, lambda node: node.getRole() == role and
                                              re.fullmatch(name, node.name or ""))

        def checked(node):
            return node.getState().contains(pyatspi.STATE_CHECKED)

        rows = wait_until(lambda: len(found := nodes(pyatspi.ROLE_CHECK_BOX,
                                                     "npm cache|pip cache")) == 2 and found,
                          "the two rows", 30)
        for row in rows:
            assert re.fullmatch(r"Grows back, \d+ kB\. .+", row.description or "") and \
                checked(row) and row.getState().contains(pyatspi.STATE_FOCUSABLE), \
                "row %s (%r) is not a ticked, focusable check box" % (row.name, row.description)

        gauge = nodes(pyatspi.ROLE_PROGRESS_BAR)
        value = gauge[0].queryValue() if len(gauge) == 1 else None
        assert value and value.minimumValue == 0 and value.maximumValue == 100 and \
            "%d%% used" % value.currentValue == gauge[0].name, \
            "gauge %s, value %s" % ([g.name for g in gauge], value and value.currentValue)
        assert nodes(pyatspi.ROLE_LABEL, r".+ free"), "no free-space label"

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
        wait_until(lambda: sweep_button().name != total, "a smaller total")
        do(sweep_button(), "Press")
        wait_until(lambda: nodes(pyatspi.ROLE_LABEL, r"Sweep .+\? This can't be undone\."),
                   "the confirmation")
        do(nodes(pyatspi.ROLE_PUSH_BUTTON, "Sweep")[0], "Press")
        wait_until(lambda: nodes(pyatspi.ROLE_LABEL, r"Swept about .+"), "the outcome")
        assert not os.listdir(os.path.join(self.home, ".cache", "pip")) and \
            os.listdir(os.path.join(self.home, ".npm", "_cacache")), \
            "the sweep did not empty exactly the ticked cache"

        dark = self.panel_background(os.path.join(self.output, "panel-dark.png"))
        assert dark <= 0.3, "the panel is not dark while the portal prefers dark (%.2f)" % dark
        self.portal.stdin.write(b"2\n")
        wait_until(lambda: (self.panel_background() or 0) > 0.7, "the panel to turn light")


def main():
    # Looked for as a folder: importing it now would tie it to the wrong session bus.
    return run_test("a11y", (BUS_LAUNCHER, "/usr/lib/python3/dist-packages/pyatspi"),
                    lambda root: AccessibilityTest(root, *sys.argv[1:3]))


if __name__ == "__main__":
    sys.exit(main())
