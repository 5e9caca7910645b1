"""What the desktop tests share: a virtual X display, private buses, a temporary home, the
processes started in them, and the runner that reports, skips and cleans up."""

import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN = (1280, 800)
# Every process the test started, stopped at the end even when the session's set-up failed.
PROCESSES = []


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb" if isinstance(content, bytes) else "w") as file:
        file.write(content)


def wait_until(condition, what, seconds=20.0):
    deadline = time.monotonic() + seconds
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)
    return value


class VirtualSession:
    """Xvfb and a session bus, with a home of its own holding Pellwick's settings, which say
    that the welcome is done."""

    def __init__(self, root, bus_config=None, **environment):
        self.root = root
        self.home = os.path.join(root, "home")
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.settings = os.path.join(self.home, ".config", "pellwick", "pellwick.conf")
        write(self.settings, "[General]\nonboardingCompleted=true\n")
        # Nothing comes from the caller's environment: the XDG folders default to the home's.
        self.env = dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=self.home,
                        XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8", **environment)
        self.env["DISPLAY"] = ":" + self.start_reading("xvfb", [
            "Xvfb", "-displayfd", "1", "-noreset", "-screen", "0", "%dx%dx24" % SCREEN,
            "-nolisten", "tcp"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("session", bus_config)
        # D-Bus clients in this process (dbus-python, pyatspi) find the buses through these.
        os.environ.update({k: self.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})

    def start_bus(self, name, config=None):
        kind = "--config-file=" + config if config else "--session"
        return self.start_reading(name + "-bus", ["dbus-daemon", kind, "--nofork",
                                                  "--print-address=1"])

    def start(self, name, command, **pipes):
        log = open(os.path.join(self.root, name + ".log"), "ab")
        PROCESSES.append(subprocess.Popen(command, env=self.env, start_new_session=True,
                                          **{"stdout": log, "stderr": log, **pipes}))
        return PROCESSES[-1]

    def start_reading(self, name, command):
        """Starts a program that prints one line when it is ready; returns that line."""
        line = self.start(name, command, stdout=subprocess.PIPE).stdout.readline().strip()
        assert line, name + " did not start"
        return line.decode()

    @staticmethod
    def stop(process):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
                os.killpg(process.pid, sig)
                return process.wait(timeout=5)

    def run(self, *command, stderr=False):
        done = subprocess.run(command, env=self.env, capture_output=True, timeout=20, text=True)
        return done.stderr if stderr else done.stdout

    def visible_windows(self, name):
        return self.run("xdotool", "search", "--onlyvisible", "--name", name).split()

    def geometry(self, window):
        shell = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def run_test(name, tools, make_session):
    """Makes a session in a fresh temporary folder and runs its test(); returns 0, 1 with the
    end of every process's log, or SKIP when a tool, or one every session needs, is missing."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    tools = ("Xvfb", "dbus-daemon", "xdotool", "import", "convert") + tools
    missing = [tool for tool in tools if not (shutil.which(tool) or os.path.isdir(tool))]
    if missing:
        print("SKIP: %s is not installed (scripts/setup installs it)" % missing[0])
        return SKIP
    root = tempfile.mkdtemp(prefix="pellwick-%s-" % name)
    try:
        make_session(root).test()
        return 0
    except AssertionError as failure:
        print("FAILED: %s" % failure)
        for log in sorted(entry for entry in os.listdir(root) if entry.endswith(".log")):
            with open(os.path.join(root, log), "rb") as text:
                print("--- %s (end)\n%s" % (log, text.read()[-3000:].decode(errors="replace")))
        return 1
    finally:
        for process in reversed(PROCESSES):
            VirtualSession.stop(process)
        shutil.rmtree(root, ignore_errors=True)
