#!/usr/bin/env python3
"""The built program on a desktop of the test's own: a private session bus
with a notification server and a tray's StatusNotifierWatcher
(desktop_services.py), never the machine's own bus.

Under a headless Wayland compositor (weston --backend=headless-backend.so),
on the Wayland platform, with another client mapped after the program's
window (the headless compositor has no seat, so no window ever gets the
focus and the program cannot activate itself):
- the tray item registers once;
- one chat line gives exactly one Notify, its body the line as plain text
  (the server reads markup, so the peer's markup comes escaped), with the
  program's icon, desktop entry, category and default action;
- a flood of 200 lines gives at most 5 new notifications;
- after the beep rule has fired, the process has loaded the sound library;
- the tray menu's «Выход» ends the program the normal way (its settings
  file written, exit code 0).
On an X display (Xvfb), where a keeper hands the focus back to another
window at once, as focus-stealing prevention does:
- a chat line gives a notification; its default action brings the window
  forward (it has the keyboard focus), and the notification is withdrawn.

Every copy runs in a network namespace of its own; the chat lines come from
a socket in it over loopback.

Usage: desktop_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, weston, Xvfb, xdotool, dbus-daemon or python3-dbus are missing.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import harness
from harness import HERE, WAIT, Failure, JsonLines, cp1251, free_display

FLOOD = 200
MAX_NEW_IN_FLOOD = 5
QUIET = 2.5  # seconds without a further call before counting them


def services_python() -> str:
    """A Python that has dbus and gi: the one running this, or Debian's."""
    probe = "import dbus, dbus.mainloop.glib; from gi.repository import GLib"
    for python in (sys.executable, "/usr/bin/python3"):
        if python and os.path.exists(python) and subprocess.run(
                [python, "-c", probe], capture_output=True).returncode == 0:
            return python
    return ""


def missing_prerequisite() -> str:
    if os.geteuid() != 0:
        return "network namespaces need root"
    for tool in ("ip", "weston", "Xvfb", "xdotool", "xev", "dbus-daemon"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed"
    if not services_python():
        return "python3-dbus and python3-gi are not installed"
    plugin = subprocess.run(["sh", "-c", "ls /usr/lib/*/qt6/plugins/platforms/libqwayland-*.so"],
                            capture_output=True)
    if plugin.returncode != 0:
        return "Qt's Wayland plugin (qt6-wayland) is not installed"
    return ""


class Desktop:
    """A runtime folder, a private session bus and the fake services on it."""

    def __init__(self, workdir: str, name: str, children: list):
        self.workdir = workdir
        self.name = name
        self.children = children
        self.runtime = os.path.join(workdir, f"{name}-runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.bus = "unix:path=" + os.path.join(self.runtime, "bus")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime,
                        DBUS_SESSION_BUS_ADDRESS=self.bus)
        for key in ("WAYLAND_DISPLAY", "DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE",
                    "QT_QPA_PLATFORMTHEME"):
            self.env.pop(key, None)

    def spawn(self, command, log_name, capture=False, env=None):
        log = open(os.path.join(self.workdir, f"{self.name}-{log_name}.log"), "wb")
        process = subprocess.Popen(command, env=env or self.env,
                                   stdin=subprocess.PIPE if capture else subprocess.DEVNULL,
                                   stdout=subprocess.PIPE if capture else log, stderr=log,
                                   text=capture)
        self.children.append(process)
        return process

    def start_services(self) -> None:
        self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                    "--address=" + self.bus], "dbus")
        wait_until("the session bus", lambda: os.path.exists(self.bus[len("unix:path="):]))
        self.services = JsonLines(self.spawn(
            [services_python(), "-u", os.path.join(HERE, "desktop_services.py")], "services",
            capture=True), "services")
        self.services.wait_for("services start", lambda d: d.get("ready"))

    def command(self, order: dict) -> None:
        self.services.process.stdin.write(json.dumps(order) + "\n")
        self.services.process.stdin.flush()

    def calls(self, key: str, since: int = 0) -> list:
        with self.services.arrived:
            return [line[key] for line in self.services.lines[since:] if key in line]

    def settle(self) -> None:
        """Waits until the services have had no call for QUIET seconds."""
        count = -1
        while count != self.services.mark():
            count = self.services.mark()
            time.sleep(QUIET)


def wait_until(what: str, condition, timeout: float = WAIT) -> None:
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise Failure(f"no {what} within {timeout:.0f} s")
        time.sleep(0.1)


class Copy:
    """One copy of the program in a namespace of its own, its directory empty."""

    def __init__(self, scenario, desktop: Desktop, binary: str, platform_env: dict):
        self.folder = harness.write_program_directory(
            os.path.join(scenario.workdir, f"{desktop.name}-copy"), binary, "ПРИЁМ")
        self.namespace = f"vzd{os.getpid() % 100000}{desktop.name[0]}"
        subprocess.run(["ip", "netns", "add", self.namespace], check=True)
        scenario.namespaces.append(self.namespace)
        subprocess.run(["ip", "-n", self.namespace, "link", "set", "lo", "up"], check=True)
        env = harness.copy_environment(desktop.env, **platform_env)
        self.process = desktop.spawn(["ip", "netns", "exec", self.namespace,
                                      os.path.join(self.folder, "Vesmar")], "copy", env=env)

    def send(self, lines: list[str]) -> None:
        """Chat lines from a socket in the copy's namespace, to its port 333."""
        script = ("import socket, sys\n"
                  "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                  "for line in sys.stdin.buffer.read().split(b'\\n'):\n"
                  "    s.sendto(line, ('127.0.0.1', 333))\n")
        subprocess.run(["ip", "netns", "exec", self.namespace, sys.executable, "-c", script],
                       input=b"\n".join(cp1251(line) for line in lines), check=True)

    def program_pid(self) -> int:
        # ip netns exec runs the program in its own process.
        return self.process.pid

    def maps(self) -> str:
        with open(f"/proc/{self.program_pid()}/maps") as maps:
            return maps.read()


class Scenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.namespaces: list[str] = []

    # -- Wayland --------------------------------------------------------------

    def wayland(self) -> None:
        desktop = Desktop(self.workdir, "wayland", self.children)
        desktop.start_services()
        socket_name = "wayland-vesmar"
        desktop.spawn(["weston", "--backend=headless-backend.so", "--socket=" + socket_name,
                       "--idle-time=0", "--no-config"], "weston")
        wait_until("Wayland compositor",
                   lambda: os.path.exists(os.path.join(desktop.runtime, socket_name)))
        desktop.env["WAYLAND_DISPLAY"] = socket_name
        copy = Copy(self, desktop, self.binary, {"QT_QPA_PLATFORM": "wayland"})
        desktop.services.wait_for("tray registration", lambda d: "register" in d)
        # The window is up and the first tick has passed; then another
        # client's window comes over it.
        time.sleep(1.5)
        desktop.spawn(["weston-simple-shm"], "other-client")
        desktop.settle()
        registrations = desktop.calls("register")
        if len(registrations) != 1:
            raise Failure(f"the tray item registered {len(registrations)} times")
        self.ok("on Wayland the program starts and its tray item registers once")

        since = desktop.services.mark()
        line = "ТЕСТ: привет <b>всем</b> & тебе"
        copy.send([line])
        desktop.services.wait_for("Notify", lambda d: "notify" in d, since=since)
        desktop.settle()
        notes = desktop.calls("notify", since)
        if len(notes) != 1:
            raise Failure(f"one chat line gave {len(notes)} Notify calls: {notes}")
        note = notes[0]
        escaped = line.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        expected = {"summary": "Зовница", "body": escaped, "icon": "vesmar", "replaces": 0,
                    "actions": ["default", "Открыть"]}
        for key, value in expected.items():
            if note[key] != value:
                raise Failure(f"Notify's {key} is {note[key]!r}, expected {value!r}")
        hints = note["hints"]
        if hints.get("desktop-entry") != "org.vesmar.Vesmar" or \
                hints.get("category") != "im.received":
            raise Failure(f"Notify's hints are {hints}")
        self.ok("a chat line on Wayland gives exactly one Notify with the line as plain text")

        since = desktop.services.mark()
        copy.send([f"ТЕСТ: строка {n}" for n in range(FLOOD)])
        desktop.settle()
        notes = desktop.calls("notify", since)
        fresh = [note for note in notes if note["replaces"] == 0]
        if len(fresh) > MAX_NEW_IN_FLOOD or not notes:
            raise Failure(f"a flood of {FLOOD} lines gave {len(fresh)} new notifications "
                          f"({len(notes)} Notify calls)")
        if f"ТЕСТ: строка {FLOOD - 1}" not in notes[-1]["body"]:
            raise Failure(f"the last update does not show the last line: {notes[-1]}")
        self.ok(f"a flood of {FLOOD} lines gives {len(fresh)} new notification(s) in "
                f"{len(notes)} Notify calls, the last showing the last line")

        if "libcanberra.so" not in copy.maps():
            raise Failure("the beep rule fired but the sound library is not loaded")
        self.ok("after the beep rule has fired, the process has loaded libcanberra")

        self.quit_from_tray(desktop, registrations[0])
        try:
            code = copy.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("the copy did not end after the tray's «Выход»")
        if code != 0:
            raise Failure(f"the copy ended with exit code {code} after «Выход»")
        if not os.path.exists(os.path.join(copy.folder, "ListCorr.dat")):
            raise Failure("«Выход» did not save the data files")
        self.ok("the tray menu's «Выход» ends the program the normal way (files saved)")

    def quit_from_tray(self, desktop: Desktop, service: str) -> None:
        """Clicks «Выход» in the tray item's menu, as a panel does over DBusMenu."""
        script = r"""
import sys, dbus
bus = dbus.SessionBus()
item = bus.get_object(sys.argv[1], "/StatusNotifierItem")
path = item.Get("org.kde.StatusNotifierItem", "Menu",
                dbus_interface="org.freedesktop.DBus.Properties")
menu = dbus.Interface(bus.get_object(sys.argv[1], path), "com.canonical.dbusmenu")
menu.AboutToShow(0)
_, layout = menu.GetLayout(0, -1, ["label"])
labels = {}
def walk(node):
    labels[str(node[1].get("label", ""))] = int(node[0])
    for child in node[2]:
        walk(child)
walk(layout)
print(sorted(k for k in labels if k))
menu.Event(labels["Выход"], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
"""
        result = subprocess.run([services_python(), "-c", script, service], env=desktop.env,
                                capture_output=True, text=True, timeout=WAIT)
        if result.returncode != 0:
            raise Failure(f"could not click «Выход»: {result.stderr}")
        labels = result.stdout.strip()
        if "Открыть" not in labels or "Выход" not in labels:
            raise Failure(f"the tray menu holds {labels}")

    # -- X11 ------------------------------------------------------------------

    def x11(self) -> None:
        desktop = Desktop(self.workdir, "x11", self.children)
        display = free_display()
        desktop.spawn(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                      "xvfb")
        wait_until("X display", lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"))
        desktop.env["DISPLAY"] = f":{display}"
        desktop.start_services()
        copy = Copy(self, desktop, self.binary, {"QT_QPA_PLATFORM": "xcb"})
        xdotool = lambda *args: subprocess.run(  # noqa: E731
            ["xdotool", *args], env=desktop.env, capture_output=True, text=True,
            timeout=WAIT).stdout.strip()
        window = ""
        deadline = time.monotonic() + WAIT
        while not window and time.monotonic() < deadline:
            window = xdotool("search", "--onlyvisible", "--name", "^Зовница$").split("\n")[0]
            time.sleep(0.2)
        if not window:
            raise Failure("no window on the X display")
        desktop.spawn(["xev", "-name", "other"], "other-client")
        other = ""
        while not other and time.monotonic() < deadline:
            other = xdotool("search", "--name", "^other$").split("\n")[0]
            time.sleep(0.2)
        # The keeper gives the focus back to the other window whenever the
        # program takes it, as focus-stealing prevention would refuse it.
        keeping = threading.Event()
        keeping.set()

        def keep() -> None:
            while keeping.is_set():
                if xdotool("getwindowfocus") != other:
                    xdotool("windowfocus", other)
                time.sleep(0.02)
        keeper = threading.Thread(target=keep, daemon=True)
        keeper.start()
        time.sleep(1.0)

        since = desktop.services.mark()
        copy.send(["ТЕСТ: вернись"])
        note = desktop.services.wait_for("Notify", lambda d: "notify" in d, since=since)
        keeping.clear()
        keeper.join()
        if note["notify"]["body"] != "ТЕСТ: вернись":
            raise Failure(f"the notification shows {note}")
        self.ok("on X11, a pop-up the desktop refused gives a notification")

        since = desktop.services.mark()
        desktop.command({"invoke": note["notify"]["id"]})
        wait_until("window with the focus", lambda: xdotool("getwindowfocus") == window)
        desktop.services.wait_for("CloseNotification",
                                  lambda d: d.get("close") == note["notify"]["id"], since=since)
        self.ok("the notification's default action brings the window forward, and the "
                "notification is withdrawn")
        copy.process.send_signal(signal.SIGTERM)
        if copy.process.wait(timeout=WAIT) != 0:
            raise Failure("the copy did not end normally on SIGTERM")

    def close(self) -> None:
        super().close()
        for namespace in self.namespaces:
            subprocess.run(["ip", "netns", "del", namespace], stderr=subprocess.DEVNULL)


def main() -> int:
    return harness.main(__doc__, lambda args, workdir: Scenario(os.path.abspath(args[0]), workdir),
                        lambda s: [s.wayland, s.x11], prerequisite=missing_prerequisite,
                        folder="vesmar-desktop-")


if __name__ == "__main__":
    sys.exit(main())
