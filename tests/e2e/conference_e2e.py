#!/usr/bin/env python3
"""Three copies of the built program and one scripted peer on one test network.

Every copy runs in a Linux network namespace of its own, from a program
directory of its own (a real copy of the binary with a prepared Vesmar.ini and
ListCorr.dat). A fourth namespace holds the scripted peer (plain UDP), and a
hub namespace holds the bridge, where every delivered datagram is recorded.
The first copy shows its window on an Xvfb display and gets a chat line typed
with xdotool. The display's keyboard has a Latin and a Cyrillic group, so that
xdotool finds every letter of the line in the keymap.

Checked, on the wire and at the peer, waiting with generous time-outs:
registrations and their answers; the typed chat line reaching every roster
member with the exact bytes (between the copies, which confirm lines, the same
bytes with the line's id behind a NUL); a link-check request answered; a relayed entry
saved in the receiving copy's directory file after SIGTERM; the exit notices
sent at that end.

Usage: conference_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, Xvfb, setxkbmap or xdotool are not available.
"""
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
PREFIX = "~#&!^~:"
SUBNET = "10.233.77."
PEER_NAME = "ТЕСТ"
COPIES = [("АННА", 1), ("БОРИС", 2), ("ВЕРА", 3)]
PEER_HOST = 4
WAIT = 60.0
HERE = os.path.dirname(os.path.abspath(__file__))


def cp1251(text: str) -> bytes:
    return text.encode("cp1251")


def address(host: int) -> str:
    return SUBNET + str(host)


def run(*args: str) -> None:
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Failure(Exception):
    pass


class JsonLines:
    """Collects the JSON lines that a child process prints, in a thread of its own."""

    def __init__(self, process: subprocess.Popen, name: str):
        self.process = process
        self.name = name
        self.lines: list[dict] = []
        self.arrived = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self) -> None:
        for raw in self.process.stdout:
            with self.arrived:
                self.lines.append(json.loads(raw))
                self.arrived.notify_all()

    def mark(self) -> int:
        """The number of lines so far: wait_for(since=mark) looks only at later ones."""
        with self.arrived:
            return len(self.lines)

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


class TestNetwork:
    """The namespaces, the bridge and the veth links; removed again by close().

    groups maps a host key to the host numbers whose addresses its namespace
    holds; by default one namespace per copy and one for the peer."""

    def __init__(self, tag: str = "vz", groups=None, subnet: str = SUBNET) -> None:
        # VESMAR_NETNS_TAG, where set, names the namespaces instead, so that
        # runs side by side on one machine can tell theirs apart.
        tag = f"{os.environ.get('VESMAR_NETNS_TAG', tag)}{os.getpid() % 100000}"
        self.subnet = subnet
        if groups is None:
            groups = {host: [host] for host in [1, 2, 3, PEER_HOST]}
        self.groups = groups
        self.hub = f"{tag}h"
        self.hosts = {host: f"{tag}n{index}" for index, host in enumerate(groups)}
        self.created: list[str] = []

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


def free_display() -> int:
    for number in range(91, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(
                f"/tmp/.X{number}-lock"):
            return number
    raise Failure("no free X display number")


def start_display(spawn) -> int:
    """Starts Xvfb on a free display through spawn (command, log name) and waits
    for its socket. -noreset: Xvfb resets the keymap when its last client
    leaves, which would undo setxkbmap as soon as setxkbmap itself disconnects."""
    display = free_display()
    spawn(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
           "-noreset"], "xvfb.log")
    deadline = time.monotonic() + WAIT
    while not os.path.exists(f"/tmp/.X11-unix/X{display}"):
        if time.monotonic() > deadline:
            raise Failure("Xvfb did not start")
        time.sleep(0.1)
    return display


def write_program_directory(root: str, binary: str, name: str, host: int) -> str:
    folder = os.path.join(root, f"copy{host}")
    os.makedirs(folder)
    shutil.copy2(binary, os.path.join(folder, "Vesmar"))
    with open(os.path.join(folder, "Vesmar.ini"), "wb") as ini:
        ini.write(cp1251(f"[ANY]\r\nMyName={name}\r\n"))
    lines = [f"{other} _|_ {address(host)}" for other, host in COPIES]
    lines.append(f"{PEER_NAME} _|_ {address(PEER_HOST)}")
    with open(os.path.join(folder, "ListCorr.dat"), "wb") as directory:
        directory.write(b"".join(cp1251(line) + b"\r\n" for line in lines))
    return folder


class Scenario:
    def __init__(self, binary: str, workdir: str):
        self.binary = binary
        self.workdir = workdir
        self.net = TestNetwork()
        self.children: list[subprocess.Popen] = []
        self.copies: dict[int, subprocess.Popen] = {}
        self.folders: dict[int, str] = {}
        self.checks = 0

    # -- helpers ------------------------------------------------------------

    def spawn(self, command: list[str], log_name: str, env=None, capture=False):
        log = open(os.path.join(self.workdir, log_name), "wb")
        process = subprocess.Popen(
            command, env=env, stdin=subprocess.PIPE if capture else subprocess.DEVNULL,
            stdout=subprocess.PIPE if capture else log, stderr=log, text=capture)
        self.children.append(process)
        return process

    def ok(self, what: str) -> None:
        self.checks += 1
        print(f"ok {self.checks} - {what}", flush=True)

    def peer_send(self, host: int, text: str) -> None:
        command = {"to": address(host), "hex": cp1251(text).hex()}
        self.peer.process.stdin.write(json.dumps(command) + "\n")
        self.peer.process.stdin.flush()

    def peer_receives(self, host: int, text: str, what: str, since: int = 0) -> None:
        expected = cp1251(text).hex()
        self.peer.wait_for(what, lambda d: d.get("from") == address(host) and d["hex"] == expected,
                           since=since)

    def wire_carries(self, src: int, dst: int, text: str, what: str) -> None:
        expected = cp1251(text).hex()
        self.wire.wait_for(what, lambda d: d.get("src") == address(src)
                           and d.get("dst") == address(dst) and d["dport"] == 333
                           and d["hex"] == expected)

    def wire_carries_chat(self, src: int, dst: int, text: str, what: str) -> None:
        """A chat line between two copies of this version carries its id behind
        a NUL; the text before it is exactly what every copy shows."""
        expected = cp1251(text).hex()
        tagged = expected + "00" + b"VSID:".hex()
        self.wire.wait_for(what, lambda d: d.get("src") == address(src)
                           and d.get("dst") == address(dst) and d["dport"] == 333
                           and (d["hex"] == expected or (d["hex"].startswith(tagged)
                                                         and len(d["hex"]) == len(tagged) + 16)))

    def barrier(self, host: int, name: str) -> None:
        """Datagrams from one sender are handled in order: once a link-check
        request is answered, everything the peer sent before it has been handled."""
        since = self.peer.mark()
        self.peer_send(host, PREFIX + "AUTODETECT1")
        self.peer_receives(host, PREFIX + "MYNAMEIS1:" + name, f"link-check answer from {name}",
                           since=since)

    def x_tool(self, *command: str) -> str:
        result = subprocess.run(command, env=self.x_env, check=True,
                                capture_output=True, text=True, timeout=WAIT)
        return result.stdout.strip()

    def xdotool(self, *args: str) -> str:
        return self.x_tool("xdotool", *args)

    def set_keyboard_layouts(self) -> None:
        """Gives the display a Latin and a Cyrillic group. A letter missing from
        the keymap makes xdotool rebind a spare keycode while it types, and the
        window picks that new mapping up late, so the first such letters come
        out wrong or not at all. With both groups in the map xdotool never
        remaps: it finds each letter's group and locks it around the key event."""
        self.x_tool("setxkbmap", "-layout", "us,ru")
        query = self.x_tool("setxkbmap", "-query")
        if ["layout:", "us,ru"] not in (line.split() for line in query.splitlines()):
            raise Failure(f"the display did not take the keyboard layouts: {query}")

    def stop_copy(self, host: int) -> None:
        process = self.copies[host]
        process.send_signal(signal.SIGTERM)
        try:
            code = process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure(f"copy {host} did not end within {WAIT:.0f} s of SIGTERM")
        if code != 0:
            raise Failure(f"copy {host} ended with exit code {code}")

    # -- the scenario -------------------------------------------------------

    def start(self) -> None:
        self.net.open()
        display = start_display(self.spawn)
        self.x_env = dict(os.environ, DISPLAY=f":{display}")
        # Before the window's copy starts, so that it reads the final keymap.
        self.set_keyboard_layouts()

        python = sys.executable
        self.wire = JsonLines(self.spawn(
            self.net.exec_in("hub", python, os.path.join(HERE, "wire_sniffer.py"), "port"),
            "sniffer.log", capture=True), "wire")
        self.wire.wait_for("sniffer start", lambda d: d.get("ready"))
        self.peer = JsonLines(self.spawn(
            self.net.exec_in(PEER_HOST, python, os.path.join(HERE, "udp_peer.py")),
            "peer.log", capture=True), "peer")
        self.peer.wait_for("peer start", lambda d: d.get("ready"))

        for name, host in COPIES:
            folder = write_program_directory(self.workdir, self.binary, name, host)
            self.folders[host] = folder
            # ctest asks for the leak check (tests/CMakeLists.txt); by hand it is off.
            env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "detect_leaks=0"))
            env["QT_QPA_PLATFORM"] = "xcb" if host == 1 else "offscreen"
            env["DISPLAY"] = self.x_env["DISPLAY"]
            self.copies[host] = self.spawn(
                self.net.exec_in(host, os.path.join(folder, "Vesmar")), f"copy{host}.log", env=env)

    def check_registration(self) -> None:
        for name, host in COPIES:
            self.peer_receives(host, PREFIX + "MYNAMEIS2:" + name, f"registration of {name}")
            self.peer_send(host, PREFIX + "MYNAMEIS3:" + PEER_NAME)
        self.ok("every copy registers with the peer")
        for name, host in COPIES:
            for other, other_host in COPIES:
                if other_host == host:
                    continue
                self.wire_carries(host, other_host, PREFIX + "MYNAMEIS2:" + name,
                                  f"registration {name} -> {other}")
                self.wire_carries(other_host, host, PREFIX + "MYNAMEIS3:" + other,
                                  f"answer {other} -> {name}")
        self.ok("the copies register with each other and answer")
        for name, host in COPIES:
            self.barrier(host, name)
        self.ok("link-check requests are answered with the self name")

    def check_typed_chat(self) -> None:
        window = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^Зовница$")
        window = window.splitlines()[0]
        self.xdotool("windowfocus", "--sync", window)
        # windowfocus --sync gives up quietly after a while: type only into a
        # window that really has the focus, or the keys go elsewhere.
        focused = self.xdotool("getwindowfocus", "-f")
        if focused != window:
            raise Failure(f"window {window} did not get the keyboard focus ({focused} has it)")
        message = "привет, Мир 42"
        self.xdotool("type", "--delay", "20", message)
        self.xdotool("key", "Return")
        line = "АННА: " + message
        self.peer_receives(1, line, "typed chat line")
        for _, host in COPIES[1:]:
            self.wire_carries_chat(1, host, line, f"chat line to copy {host}")
        self.ok("a line typed into the window reaches every roster member byte for byte")

    def check_relayed_entry_and_exit(self) -> None:
        entry = "НОВЫЙ _|_ " + address(99)
        self.peer_send(3, PREFIX + "NEWADDR:" + PEER_NAME + "~_^B" + entry)
        self.barrier(3, "ВЕРА")
        self.stop_copy(3)
        self.peer_receives(3, PREFIX + "IAMEXIT:ВЕРА", "exit notice of ВЕРА")
        for _, host in COPIES[:2]:
            self.wire_carries(3, host, PREFIX + "IAMEXIT:ВЕРА", f"exit notice to copy {host}")
        self.ok("SIGTERM ends a copy normally and its exit notices go out")
        with open(os.path.join(self.folders[3], "ListCorr.dat"), "rb") as saved:
            content = saved.read()
        lines = [f"{other} _|_ {address(host)}" for other, host in COPIES]
        lines += [f"{PEER_NAME} _|_ {address(PEER_HOST)}", entry]
        expected = b"".join(cp1251(line) + b"\r\n" for line in lines)
        if content != expected:
            raise Failure(f"ListCorr.dat of copy 3 holds {content!r}, expected {expected!r}")
        self.ok("a relayed entry is saved in the directory file at exit")

    def finish(self) -> None:
        for host in (1, 2):
            self.stop_copy(host)
        self.ok("the other copies end normally on SIGTERM")

    def close(self) -> None:
        end_processes(self.children)
        self.net.close()


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


def print_logs(workdir: str) -> None:
    """The end of every log that the processes of a failed run wrote."""
    for log in sorted(os.listdir(workdir)):
        path = os.path.join(workdir, log)
        if os.path.isfile(path) and log.endswith(".log"):
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


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    why = missing_prerequisite()
    if why:
        print(f"SKIP: {why}")
        return SKIP
    workdir = tempfile.mkdtemp(prefix="vesmar-e2e-")
    scenario = Scenario(os.path.abspath(sys.argv[1]), workdir)
    try:
        scenario.start()
        scenario.check_registration()
        scenario.check_typed_chat()
        scenario.check_relayed_entry_and_exit()
        scenario.finish()
    except (Failure, subprocess.CalledProcessError) as error:
        detail = getattr(error, "stderr", "") or ""
        print(f"FAIL: {error} {detail}".strip())
        for name in ("peer", "wire"):
            collected = getattr(scenario, name, None)
            for line in collected.lines if collected else []:
                if "hex" in line:
                    text = bytes.fromhex(line["hex"]).decode("cp1251", errors="replace")
                    print(f"{name}: {line.get('from') or line.get('src')} -> "
                          f"{line.get('dst', 'peer')}: {text}")
        print_logs(workdir)
        return 1
    finally:
        scenario.close()
    shutil.rmtree(workdir, ignore_errors=True)
    print(f"{scenario.checks} passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
