"""What the end-to-end tests share: the test network, the program directories,
the child processes and their output, the checks, and the run from start to
verdict.

A test is a subclass of Run with its steps; main() runs it:

    class Scenario(harness.Run):
        ...

    def main() -> int:
        return harness.main(__doc__, lambda args, workdir: Scenario(args[0], workdir),
                            lambda s: [s.start, s.check_this, s.finish],
                            prerequisite=lambda: harness.missing_prerequisite(...))

Every test prints one line per check ("ok N - ..." or "not ok N - ..."), its
figures as "# ..." lines, and ends with "P passed, F failed". It exits 0 when
every check passed, 1 when one failed or a step raised, 2 on wrong arguments
and 77 (skipped) when the machine lacks what the test needs. A failed run
keeps its folder, with every log and data file, for a look.
"""
import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
PREFIX = "~#&!^~:"
WAIT = 60.0
HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = "Vesmar"


def cp1251(text: str) -> bytes:
    return text.encode("cp1251")


def run(*args: str) -> None:
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Failure(Exception):
    pass


class JsonLines:
    """Collects the JSON lines that a child process prints, in a thread of its
    own; stamped notes when each arrived ("t", monotonic seconds). send()
    writes one command line to its standard input."""

    def __init__(self, process: subprocess.Popen, name: str, stamped: bool = False):
        self.process = process
        self.name = name
        self.stamped = stamped
        self.lines: list[dict] = []
        self.arrived = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        for raw in self.process.stdout:
            line = json.loads(raw)
            if self.stamped:
                line["t"] = time.monotonic()
            with self.arrived:
                self.lines.append(line)
                self.arrived.notify_all()

    def send(self, command: dict) -> None:
        self.process.stdin.write(json.dumps(command) + "\n")
        self.process.stdin.flush()

    def mark(self) -> int:
        """The number of lines so far: wait_for(since=mark) looks only at later ones."""
        with self.arrived:
            return len(self.lines)

    def records(self) -> list[dict]:
        """The datagrams reported so far."""
        with self.arrived:
            return [line for line in self.lines if "hex" in line]

    def wait_for(self, what: str, predicate, timeout: float = WAIT, since: int = 0) -> dict:
        deadline = time.monotonic() + timeout
        with self.arrived:
            seen = since
            while True:
                for line in self.lines[seen:]:
                    if predicate(line):
                        return line
                seen = len(self.lines)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure(f"{self.name}: no {what} within {timeout:.0f} s")
                self.arrived.wait(left)

    def print_datagrams(self) -> None:
        """Every datagram reported, as text, for the report of a failed run."""
        for line in self.records():
            text = bytes.fromhex(line["hex"]).decode("cp1251", errors="replace")
            print(f"{self.name}: {line.get('from') or line.get('src')} -> "
                  f"{line.get('dst', self.name)}: {text!r}")


class TestNetwork:
    """The namespaces, the bridge and the veth links; removed again by close().

    groups maps a host key to the host numbers whose addresses its namespace
    holds in the subnet (a prefix such as "10.233.77.")."""

    def __init__(self, tag: str, groups: dict, subnet: str) -> None:
        # VESMAR_NETNS_TAG, where set, names the namespaces instead, so that
        # runs side by side on one machine can tell theirs apart.
        tag = f"{os.environ.get('VESMAR_NETNS_TAG', tag)}{os.getpid() % 100000}"
        self.subnet = subnet
        self.groups = groups
        self.hub = f"{tag}h"
        self.hosts = {host: f"{tag}n{index}" for index, host in enumerate(groups)}
        self.created: list[str] = []

    def address(self, host: int) -> str:
        return self.subnet + str(host)

    def open(self) -> None:
        run("ip", "netns", "add", self.hub)
        self.created.append(self.hub)
        run("ip", "-n", self.hub, "link", "add", "br0", "type", "bridge")
        run("ip", "-n", self.hub, "link", "set", "br0", "up")
        for index, (host, ns) in enumerate(self.hosts.items()):
            run("ip", "netns", "add", ns)
            self.created.append(ns)
            run("ip", "-n", self.hub, "link", "add", f"port{index}", "type", "veth",
                "peer", "name", "eth0", "netns", ns)
            run("ip", "-n", self.hub, "link", "set", f"port{index}", "master", "br0", "up")
            batch = "".join(f"addr add {self.subnet}{h}/24 dev eth0\n"
                            for h in self.groups[host])
            subprocess.run(["ip", "-n", ns, "-batch", "-"], input=batch, text=True, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            run("ip", "-n", ns, "link", "set", "eth0", "up")
            run("ip", "-n", ns, "link", "set", "lo", "up")

    def exec_in(self, host, *command: str) -> list[str]:
        ns = self.hub if host == "hub" else self.hosts[host]
        return ["ip", "netns", "exec", ns, *command]

    def close(self) -> None:
        for ns in reversed(self.created):
            subprocess.run(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)
        self.created.clear()


def free_display(numbers=range(91, 200)) -> int:
    for number in numbers:
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(
                f"/tmp/.X{number}-lock"):
            return number
    raise Failure(f"no free X display number in :{numbers[0]}-:{numbers[-1]}")


def start_display(spawn, numbers=range(91, 200), screen: str = "1024x768x24") -> int:
    """Starts Xvfb on a free display through spawn (command, log name) and waits
    for its socket. -noreset: Xvfb resets the keymap when its last client
    leaves, which would undo setxkbmap as soon as setxkbmap itself disconnects."""
    display = free_display(numbers)
    spawn(["Xvfb", f":{display}", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"],
          "xvfb.log")
    deadline = time.monotonic() + WAIT
    while not os.path.exists(f"/tmp/.X11-unix/X{display}"):
        if time.monotonic() > deadline:
            raise Failure("Xvfb did not start")
        time.sleep(0.1)
    return display


def directory_bytes(lines) -> bytes:
    """A directory file: the lines in Windows-1251, each ended by CRLF."""
    return b"".join(cp1251(line) + b"\r\n" for line in lines)


def settings_bytes(name: str, quiet: bool = False) -> bytes:
    """A settings file with the self name; quiet turns the alerts off, so that
    no window comes forward and takes the keyboard focus from the window the
    lines are typed into."""
    text = f"[ANY]\r\nMyName={name}\r\n"
    if quiet:
        text += "YesPopUp_Mess=0\r\nYesPopUp_Corr=0\r\nYesBeep_Mess=0\r\nYesBeep_Corr=0\r\n"
    return cp1251(text)


def write_program_directory(folder: str, binary, name: str, directory=None,
                            quiet: bool = False) -> str:
    """A program directory of its own: a real copy of the binary (none where
    binary is None), its settings file and, where directory is given, its
    directory file holding those lines."""
    os.makedirs(folder, exist_ok=True)
    if binary is not None:
        shutil.copy2(binary, os.path.join(folder, PROGRAM))
    with open(os.path.join(folder, "Vesmar.ini"), "wb") as ini:
        ini.write(settings_bytes(name, quiet))
    if directory is not None:
        with open(os.path.join(folder, "ListCorr.dat"), "wb") as listing:
            listing.write(directory_bytes(directory))
    return folder


def copy_environment(base=None, **settings: str) -> dict:
    """The environment of a program copy. ctest asks for the leak check
    (tests/CMakeLists.txt); by hand it is off."""
    env = dict(os.environ if base is None else base)
    env["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "detect_leaks=0")
    env.update(settings)
    return env


def end_processes(processes: list[subprocess.Popen]) -> None:
    # SIGTERM first: a killed Xvfb leaves its lock file and socket behind,
    # and free_display() would then never hand out that number again.
    for process in processes:
        if process.poll() is None:
            process.terminate()
    for process in processes:
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass


def print_logs(workdir: str, leave_out=()) -> None:
    """The end of every log that the processes of a failed run wrote."""
    for log in sorted(os.listdir(workdir)):
        path = os.path.join(workdir, log)
        if os.path.isfile(path) and log.endswith(".log") and log not in leave_out:
            with open(path, errors="replace") as text:
                tail = text.read()[-2000:]
            print(f"--- {log} ---\n{tail}")


def missing_prerequisite(tools=("ip", "Xvfb", "setxkbmap", "xdotool")) -> str:
    if os.geteuid() != 0:
        return "network namespaces need root"
    for tool in tools:
        if shutil.which(tool) is None:
            return f"{tool} is not installed"
    probe = f"vzprobe{os.getpid() % 100000}"
    result = subprocess.run(["ip", "netns", "add", probe], capture_output=True, text=True)
    if result.returncode != 0:
        return "cannot create a network namespace: " + result.stderr.strip()
    subprocess.run(["ip", "netns", "del", probe])
    return ""


def missing_nftables() -> str:
    """Why nftables cannot drop datagrams inside a test namespace, or ""."""
    if shutil.which("nft") is None:
        return "nft is not installed (nftables)"
    probe = f"vtnft{os.getpid() % 100000}"
    subprocess.run(["ip", "netns", "add", probe], check=True, capture_output=True)
    try:
        result = subprocess.run(
            ["ip", "netns", "exec", probe, "nft", "add table inet probe; "
             "add chain inet probe in { type filter hook input priority 0; }; "
             "add rule inet probe in udp dport 333 numgen random mod 100 < 20 drop"],
            capture_output=True, text=True)
    finally:
        subprocess.run(["ip", "netns", "del", probe], capture_output=True)
    if result.returncode != 0:
        return "nftables cannot drop datagrams in a namespace: " + result.stderr.strip()
    return ""


class Run:
    """One test's processes, checks and figures. A subclass sets self.net (a
    TestNetwork, or anything with close()) where it has one."""

    def __init__(self, workdir: str):
        self.workdir = workdir
        self.net = None
        self.children: list[subprocess.Popen] = []
        self.copies: dict = {}
        self.folders: dict = {}
        self.x_env = None
        self.checks = 0
        self.failed: list[str] = []
        self.figures: list[str] = []

    # -- processes ------------------------------------------------------------

    def spawn(self, command, log_name: str, env=None, capture=False, cwd=None):
        """A child process, ended by close(). Its standard error (and, unless
        captured as text lines, its output) goes to the log in the workdir."""
        # The child has the log open; this process needs it no longer.
        with open(os.path.join(self.workdir, log_name), "ab") as log:
            process = subprocess.Popen(
                command, env=env, cwd=cwd,
                stdin=subprocess.PIPE if capture else subprocess.DEVNULL,
                stdout=subprocess.PIPE if capture else log, stderr=log, text=capture)
        self.children.append(process)
        return process

    def scripted(self, host, script: str, *args: str, name: str, log: str = "",
                 stamped: bool = False) -> JsonLines:
        """A helper script of this folder in the host's namespace ("hub" for
        the bridge's), started and reported ready."""
        process = self.spawn(self.net.exec_in(host, sys.executable, os.path.join(HERE, script),
                                              *args), log or f"{name}.log", capture=True)
        collected = JsonLines(process, name, stamped)
        collected.wait_for(f"{name} start", lambda d: d.get("ready"))
        return collected

    def sniffer(self, stamped: bool = False) -> JsonLines:
        """Every datagram the bridge delivers to a host, once."""
        return self.scripted("hub", "wire_sniffer.py", "port", name="wire", log="sniffer.log",
                             stamped=stamped)

    def start_program(self, host, folder: str, env: dict, log_name: str = ""):
        """The program in the host's namespace, from its own program directory."""
        self.folders[host] = folder
        self.copies[host] = self.spawn(self.net.exec_in(host, os.path.join(folder, PROGRAM)),
                                       log_name or f"copy{host}.log", env=env)
        return self.copies[host]

    def end_program(self, host, what: str = "", timeout: float = WAIT) -> int:
        """SIGTERM to a copy; raises unless it ends normally within the time."""
        what = what or f"copy {host}"
        process = self.copies[host]
        process.send_signal(signal.SIGTERM)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure(f"{what} did not end within {timeout:.0f} s of SIGTERM")
        if code != 0:
            raise Failure(f"{what} ended with exit code {code}")
        return code

    # -- the X display ----------------------------------------------------------

    def start_display(self, **options) -> str:
        display = f":{start_display(self.spawn, **options)}"
        self.x_env = dict(os.environ, DISPLAY=display)
        return display

    def x_tool(self, *command: str, timeout: float = WAIT) -> str:
        result = subprocess.run(command, env=self.x_env, check=True,
                                capture_output=True, text=True, timeout=timeout)
        return result.stdout.strip()

    def xdotool(self, *args: str) -> str:
        return self.x_tool("xdotool", *args)

    def focus(self, window: str, what: str = "") -> str:
        """Gives the window the keyboard focus. windowfocus --sync gives up
        quietly after a while: keys are typed only into a window that really
        has the focus, or they would go elsewhere."""
        self.xdotool("windowfocus", "--sync", window)
        focused = self.xdotool("getwindowfocus", "-f")
        if focused != window:
            raise Failure(f"{what or 'window'} {window} did not get the keyboard focus "
                          f"({focused} has it)")
        return window

    def focus_titled(self, title: str, timeout: float = WAIT) -> str:
        """The first visible window with exactly this title, given the focus."""
        window = self.x_tool("timeout", str(int(timeout)), "xdotool", "search", "--sync",
                             "--onlyvisible", "--name", f"^{title}$",
                             timeout=timeout + 5).splitlines()[0]
        return self.focus(window, f"window «{title}»")

    # -- checks -----------------------------------------------------------------

    def ok(self, what: str) -> None:
        self.check(True, what)

    def check(self, passed: bool, what: str, detail: str = "") -> bool:
        """Reports one check and goes on, so that one run shows every fault."""
        self.checks += 1
        if passed:
            print(f"ok {self.checks} - {what}", flush=True)
        else:
            print(f"not ok {self.checks} - {what}" + (f": {detail}" if detail else ""),
                  flush=True)
            self.failed.append(what)
        return passed

    def figure(self, text: str) -> None:
        self.figures.append(text)
        print(f"# {text}", flush=True)

    def report_failure(self) -> None:
        """What a failed run prints for a look: the ends of the logs."""
        print_logs(self.workdir)

    def close(self) -> None:
        end_processes(self.children)
        if self.net is not None:
            self.net.close()


def main(doc: str, make, steps, *, arguments=(1,), prerequisite=missing_prerequisite,
         folder: str = "vesmar-e2e-", go_on: bool = False, time_limit: float = 0) -> int:
    """Runs one test: make(arguments, workdir) builds its Run, steps(run) names
    the steps, as callables or (label, callable) pairs. A step that raises
    ends the run, unless go_on, where the next step runs all the same.
    time_limit, where set, caps the whole run: a hang ends it with a failure."""
    given = sys.argv[1:]
    if len(given) not in arguments:
        print(doc)
        return 2
    why = prerequisite()
    if why:
        print(f"SKIP: {why}")
        return SKIP
    workdir = tempfile.mkdtemp(prefix=folder)
    test = make(given, workdir)
    started = time.monotonic()
    stopped = 0
    if time_limit:
        def time_cap_reached(_signum, _frame):
            raise Failure(f"the whole test took longer than {time_limit:.0f} s")
        signal.signal(signal.SIGALRM, time_cap_reached)
        signal.alarm(int(time_limit))
    try:
        for number, step in enumerate(steps(test), 1):
            label, call = step if isinstance(step, tuple) else (step_name(step, number), step)
            try:
                call()
            except Exception as error:  # noqa: BLE001 (AT-SPI's and the tools' errors too)
                detail = getattr(error, "stderr", "") or ""
                print(f"not ok - {label} stopped: {type(error).__name__}: {error} "
                      f"{detail}".strip(), flush=True)
                stopped += 1
                if not go_on:
                    break
    finally:
        signal.alarm(0)
        test.close()
    print(f"# whole run {time.monotonic() - started:.0f} s")
    if test.failed or stopped:
        test.report_failure()
        # The logs and data files stay for a look; the program copies go.
        for name in os.listdir(workdir):
            with contextlib.suppress(OSError):
                os.remove(os.path.join(workdir, name, PROGRAM))
        print(f"# logs and data files in {workdir}")
        print(f"{test.checks - len(test.failed)} passed, {len(test.failed) + stopped} failed")
        return 1
    shutil.rmtree(workdir, ignore_errors=True)
    print(f"{test.checks} passed, 0 failed")
    return 0


def step_name(step, number: int) -> str:
    name = getattr(step, "__name__", "<lambda>")
    return f"step {number}" if name.startswith("<") else name
