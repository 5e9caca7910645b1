"""What the desktop tests share: a virtual X display, private buses, a temporary home, the
processes started in them, and the runner that reports, skips and cleans up."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN = (1280, 800)


class Failure(Exception):
    pass


def wait_until(condition, what, seconds=20.0):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


class VirtualSession:
    """Xvfb and a session bus, with a home of its own holding Pellwick's settings."""

    def __init__(self, root, bus_config=None, **environment):
        self.root = root
        self.processes = []
        self.home = os.path.join(root, "home")
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700)
        os.makedirs(os.path.join(self.home, ".config", "pellwick"))
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_RUNTIME_DIR": runtime,
            "LANG": "C.UTF-8",
            **environment,
        }
        self.env["DISPLAY"] = ":" + self.start_reading("xvfb", [
            "Xvfb", "-displayfd", "1", "-noreset", "-screen", "0", "%dx%dx24" % SCREEN,
            "-nolisten", "tcp"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus("session", bus_config)
        # D-Bus clients in this process (dbus-python, pyatspi) find the buses through these.
        os.environ.update({k: self.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})

    def settings(self, text):
        with open(os.path.join(self.home, ".config", "pellwick", "pellwick.conf"), "w") as conf:
            conf.write(text)

    def bus(self, name, config=None):
        kind = "--config-file=" + config if config else "--session"
        return self.start_reading(name + "-bus", ["dbus-daemon", kind, "--nofork",
                                                  "--print-address=1"])

    def start(self, name, command, **pipes):
        log = open(os.path.join(self.root, name + ".log"), "ab")
        pipes.setdefault("stdout", log)
        process = subprocess.Popen(command, env=self.env, start_new_session=True, stderr=log,
                                   **pipes)
        self.processes.append(process)
        return process

    def start_reading(self, name, command):
        """Starts a program that prints one line when it is ready; returns that line."""
        line = self.start(name, command, stdout=subprocess.PIPE).stdout.readline()
        if not line.strip():
            raise Failure(name + " did not start")
        return line.decode().strip()

    def stop(self, process):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
                process.wait(timeout=5)
                return
            except ProcessLookupError:
                return
            except subprocess.TimeoutExpired:
                continue

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)

    def run(self, *command, stderr=False):
        done = subprocess.run(command, env=self.env, capture_output=True, timeout=20, text=True)
        return done.stderr if stderr else done.stdout

    def visible_windows(self, name):
        return self.run("xdotool", "search", "--onlyvisible", "--name", name).split()

    def geometry(self, window):
        shell = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def missing_tool(tools):
    return next((tool for tool in tools if not shutil.which(tool)), None)


def run_test(name, tools, make_session, test):
    """Runs test(session, report) in a session made in a fresh temporary folder; returns the
    exit status: 0, 1 with the end of every process's log, or SKIP when a tool is missing."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    missing = missing_tool(tools)
    if missing:
        print("SKIP: %s is not installed (scripts/setup installs it)" % missing)
        return SKIP
    root = tempfile.mkdtemp(prefix="pellwick-%s-" % name)
    session = None
    started = time.monotonic()

    def report(text):
        print("[%5.1f s] %s" % (time.monotonic() - started, text), flush=True)
    try:
        session = make_session(root)
        test(session, report)
        report("passed")
        return 0
    except Failure as failure:
        print("FAILED: %s" % failure)
        for log in sorted(os.listdir(root)):
            if log.endswith(".log"):
                with open(os.path.join(root, log), "rb") as text:
                    print("--- %s (end)\n%s" % (log, text.read()[-3000:].decode(errors="replace")))
        return 1
    finally:
        if session:
            session.close()
        shutil.rmtree(root, ignore_errors=True)
