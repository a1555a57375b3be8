"""A copy's window read through AT-SPI, the way a screen reader reads it.

AccessibilityBus starts a private D-Bus session bus (never the machine's own)
with AT-SPI's bus launcher on it, which starts the accessibility bus and,
when first asked, its registry. Copies started with bus.env() and this
process then talk to that bus only. Window finds one copy's window by its
process id and reads what a screen reader would: the log's text, the lines
of the roster and of the directory, any widget by role and name.

    bus = AccessibilityBus(workdir, display=":93")
    bus.start()                        # before the copy starts
    copy = subprocess.Popen([...], env=bus.env(os.environ))
    window = Window.of_process(copy.pid)
    window.log_text(); window.roster_rows(); window.directory_rows()
    bus.close()

pyatspi needs Debian's python3-pyatspi (and python3-gi), which only the
system's Python has: require_system_python() runs the calling script again
under /usr/bin/python3 when the running Python lacks them. missing() tells
why the module cannot work here, or "".
"""
import importlib.util
import os
import shutil
import subprocess
import sys
import time

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SYSTEM_PYTHON = "/usr/bin/python3"
WAIT = 60.0


class AccessibilityError(Exception):
    pass


def _has_pyatspi() -> bool:
    return importlib.util.find_spec("gi") is not None and \
        importlib.util.find_spec("pyatspi") is not None


def require_system_python() -> None:
    """Runs the calling script again under the system's Python when this one
    has no pyatspi (a Python of one's own first on the PATH, say)."""
    if _has_pyatspi() or not os.path.exists(SYSTEM_PYTHON):
        return
    if os.path.realpath(sys.executable) == os.path.realpath(SYSTEM_PYTHON):
        return
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, *sys.argv])


def missing() -> str:
    """Why AT-SPI cannot be used here, or an empty string."""
    for tool in ("dbus-daemon", LAUNCHER):
        if shutil.which(tool) is None and not os.path.exists(tool):
            return f"{tool} is not installed (at-spi2-core, dbus)"
    if not _has_pyatspi():
        return "pyatspi is not installed for this Python (python3-pyatspi)"
    return ""


class AccessibilityBus:
    """A private session bus with the AT-SPI bus launcher; closed by close()."""

    def __init__(self, workdir: str, display: str):
        self.workdir = workdir
        self.display = display
        self.session_address = ""
        self.a11y_address = ""
        self.runtime = os.path.join(workdir, "a11y-runtime")
        self.children: list[subprocess.Popen] = []

    def _spawn(self, command: list[str], log: str, **kwargs) -> subprocess.Popen:
        out = open(os.path.join(self.workdir, log), "wb")
        process = subprocess.Popen(command, stderr=out, **kwargs)
        self.children.append(process)
        return process

    def start(self) -> None:
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        socket = os.path.join(self.workdir, "session-bus")
        daemon = self._spawn(
            ["dbus-daemon", "--session", f"--address=unix:path={socket}", "--nofork",
             "--print-address"], "session-bus.log", stdout=subprocess.PIPE, text=True)
        self.session_address = daemon.stdout.readline().strip()
        if not self.session_address:
            raise AccessibilityError("the private session bus did not start")
        # The launcher starts the accessibility bus, says that accessibility
        # is on, and puts the bus's address on the display.
        self._spawn([LAUNCHER, "--launch-immediately", "--a11y=1"], "a11y-launcher.log",
                    env=self.env(os.environ))
        self.a11y_address = self._a11y_address()
        # This process reads through pyatspi, which looks for its bus here;
        # it is imported only after this point.
        os.environ.update(self.env(os.environ), AT_SPI_BUS_ADDRESS=self.a11y_address)

    def env(self, base) -> dict:
        """The environment of a copy (or this process) that uses this bus."""
        env = dict(base)
        env.update(DBUS_SESSION_BUS_ADDRESS=self.session_address, XDG_RUNTIME_DIR=self.runtime,
                   DISPLAY=self.display)
        # A copy finds the accessibility bus through the session bus; Qt 6.4
        # never turns accessibility on when AT_SPI_BUS_ADDRESS names it.
        env.pop("AT_SPI_BUS_ADDRESS", None)
        return env

    def _a11y_address(self) -> str:
        from gi.repository import Gio, GLib
        connection = Gio.DBusConnection.new_for_address_sync(
            self.session_address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        deadline = time.monotonic() + WAIT
        try:
            while True:
                try:
                    reply = connection.call_sync(
                        "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                        GLib.VariantType("(s)"), Gio.DBusCallFlags.NO_AUTO_START, 5000, None)
                    return reply.unpack()[0]
                except GLib.Error:
                    if time.monotonic() > deadline:
                        raise AccessibilityError("the AT-SPI bus launcher did not answer")
                    time.sleep(0.1)
        finally:
            connection.close_sync(None)

    def close(self) -> None:
        for process in reversed(self.children):
            if process.poll() is None:
                process.terminate()
        for process in self.children:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()


def pump(seconds: float = 0.0) -> None:
    """Delivers the AT-SPI events that have come, for up to seconds."""
    from gi.repository import GLib
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while True:
        while context.pending():
            context.iteration(False)
        if time.monotonic() >= deadline:
            return
        time.sleep(0.01)


def wait_until(what: str, predicate, timeout: float = WAIT):
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # the window may not be there yet, or be busy
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AccessibilityError(f"no {what} within {timeout:.0f} s")
        pump(0.1)


class Window:
    """One copy's accessible application, found by the copy's process id."""

    def __init__(self, application):
        self.application = application

    @classmethod
    def of_process(cls, pid: int, timeout: float = WAIT) -> "Window":
        import pyatspi

        def find():
            desktop = pyatspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                application = desktop.getChildAtIndex(index)
                if application is not None and application.get_process_id() == pid:
                    # The window is there once the application has a child.
                    return application if application.childCount > 0 else None
            return None

        return cls(wait_until(f"accessible window of process {pid}", find, timeout))

    def find(self, role: str, name: str = None):
        """The first widget of the role (its AT-SPI role name, "text", "list",
        "push button" ...) and, when given, the accessible name. The rows of
        lists are not searched."""
        found = self.find_all(role, name, first=True)
        if not found:
            raise AccessibilityError(f"no {role} named {name!r} in the window")
        return found[0]

    def find_all(self, role: str, name: str = None, first: bool = False) -> list:
        found = []
        pending = [self.application]
        while pending:
            node = pending.pop(0)
            if node is None:
                continue
            if node.getRoleName() == role and (name is None or node.name == name):
                found.append(node)
                if first:
                    break
            if node.getRoleName() in ("list", "table"):
                continue
            pending.extend(node.getChildAtIndex(i) for i in range(node.childCount))
        return found

    def log(self):
        return self.find("text", "Информация")

    def log_text(self) -> str:
        """The log's text as shown: its lines joined by LF."""
        return self.log().queryText().getText(0, -1)

    def rows(self, list_name: str) -> list[str]:
        view = self.find("list", list_name)
        return [view.getChildAtIndex(i).name for i in range(view.childCount)]

    def roster_rows(self) -> list[str]:
        return self.rows("Участвуют")

    def directory_rows(self) -> list[str]:
        return self.rows("Полный список")


def extents(accessible):
    """(x, y, width, height) on the screen."""
    import pyatspi
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def is_selected(accessible) -> bool:
    import pyatspi
    return accessible.getState().contains(pyatspi.STATE_SELECTED)


def has_state(accessible, state_name: str) -> bool:
    import pyatspi
    return accessible.getState().contains(getattr(pyatspi, "STATE_" + state_name.upper()))
