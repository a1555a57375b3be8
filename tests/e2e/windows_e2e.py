#!/usr/bin/env python3
"""The Windows program under Wine and a Linux copy on one test network.

The Windows copy runs from the unpacked zip (Vesmar.exe with its DLLs) under
Wine in a network namespace of its own, the Linux copy in another, a scripted
peer (plain UDP) in a third; the hub namespace holds the bridge, where every
delivered datagram is recorded. Both windows are on one Xvfb display, the
lines are typed into them with xdotool.

Checked on the wire and at the peer:
- the Windows window «Зовница» maps; both copies register with each other and
  with the peer, and the Windows copy answers the peer's registration with
  exactly the answer and its name, and a link check with its name;
- a line typed into the Windows window reaches the peer as NAME: text in
  Windows-1251, from port 333 to port 333, and the Linux copy with its id,
  which the Linux copy confirms; a line typed into the Linux window reaches
  the Windows copy byte for byte with its id, and the Windows copy confirms it;
- a private line from the Windows copy to the Linux copy alone;
- a second start of the Windows program is refused («Программа уже
  запущена !») and leaves the first untouched;
- closing the Windows window (Alt+F4) sends its exit notices and leaves
  Vesmar.ini and ListCorr.dat beside Vesmar.exe in Windows-1251 with CRLF
  line ends.

Usage: windows_e2e.py <Vesmar-windows-x64.zip or its unpacked Vesmar folder>
                      <the Linux Vesmar> [<Wine prefix>]
Without a prefix a new one is made in a temporary folder (about 20 s). Exits 77
(skipped) where network namespaces, Xvfb, xdotool, setxkbmap or Wine are not
available.
"""
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import PREFIX, Failure, cp1251  # noqa: E402

# Where newer copies exchange their handshake and receipts.
HANDSHAKE_PORT = 334
SUBNET = "10.233.81."
WINDOWS, LINUX, PEER = 1, 2, 4
NAMES = {WINDOWS: "ОКНА", LINUX: "ЛИНУКС", PEER: "ПИР"}
WAIT = harness.WAIT
# The displays this test may use.
DISPLAYS = range(81, 90)


def address(host: int) -> str:
    return SUBNET + str(host)


def entry(host: int) -> str:
    return f"{NAMES[host]} _|_ {address(host)}"


def directory_lines(*hosts: int) -> list[str]:
    return [entry(host) for host in hosts]


class Scenario(harness.Run):
    def __init__(self, package: str, linux_binary: str, prefix: str, workdir: str):
        super().__init__(workdir)
        self.package = package
        self.linux_binary = linux_binary
        self.prefix = prefix
        self.net = harness.TestNetwork("ws-", {h: [h] for h in (WINDOWS, LINUX, PEER)},
                                       subnet=SUBNET)
        self.windows: dict[int, str] = {}
        self.peer = self.wire = None
        self.wineserver_env = None

    # -- helpers ------------------------------------------------------------

    def wine_env(self) -> dict:
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=self.x_env["DISPLAY"])
        env.pop("WINEPATH", None)  # the zip's folder has every DLL the program needs
        return env

    def peer_send(self, host: int, text: str) -> None:
        self.peer.send({"to": address(host), "hex": cp1251(text).hex()})

    def peer_receives(self, host: int, text: str, what: str, since: int = 0) -> dict:
        expected = cp1251(text).hex()
        return self.peer.wait_for(what, lambda d: d.get("from") == address(host)
                                  and d["hex"] == expected, since=since)

    def wire_carries(self, src: int, dst: int, payload_hex_test, what: str,
                     since: int = 0, port: int = 333) -> dict:
        return self.wire.wait_for(what, lambda d: d.get("src") == address(src)
                                  and d.get("dst") == address(dst) and d["sport"] == port
                                  and d["dport"] == port and payload_hex_test(d["hex"]),
                                  since=since)

    def wire_exact(self, src: int, dst: int, text: str, what: str, since: int = 0,
                   port: int = 333) -> dict:
        expected = cp1251(text).hex()
        return self.wire_carries(src, dst, lambda h: h == expected, what, since, port)

    def wire_receipt(self, src: int, dst: int, line_id: str, what: str, since: int) -> dict:
        """Receipts travel between the newer copies' handshake ports."""
        return self.wire_exact(src, dst, PREFIX + "VSACK:" + line_id, what, since,
                               HANDSHAKE_PORT)

    def wire_chat_with_id(self, src: int, dst: int, text: str, what: str,
                          since: int = 0) -> str:
        """A chat line between newer copies: the text, a NUL, "VSID:" and eight
        hex digits. Returns the id."""
        tagged = cp1251(text).hex() + "00" + b"VSID:".hex()
        found = self.wire_carries(src, dst, lambda h: h.startswith(tagged)
                                  and len(h) == len(tagged) + 16, what, since)
        return bytes.fromhex(found["hex"][len(tagged):]).decode("ascii")

    def find_window(self, host: int) -> str:
        """The window titled «Зовница» of one copy; Wine's windows carry the
        process id of the Wine process that made them."""
        pid = self.copies[host].pid
        deadline = time.monotonic() + WAIT
        while True:
            try:
                found = self.xdotool("search", "--onlyvisible", "--all", "--pid", str(pid),
                                     "--name", "^Зовница$")
                if found:
                    return found.splitlines()[0]
            except subprocess.CalledProcessError:
                pass  # no such window yet
            if time.monotonic() > deadline:
                raise Failure(f"no window «Зовница» of {NAMES[host]} within {WAIT:.0f} s")
            time.sleep(0.3)

    def type_line(self, host: int, text: str) -> None:
        self.focus(self.windows[host], f"{NAMES[host]}'s window")
        self.xdotool("type", "--delay", "40", text)
        self.xdotool("key", "Return")

    def start_windows_copy(self, log_name: str) -> subprocess.Popen:
        return self.spawn(self.net.exec_in(WINDOWS, "wine", os.path.join(self.win_folder,
                                                                         "Vesmar.exe")),
                          log_name, env=self.wine_env(), cwd=self.win_folder)

    # -- the scenario -------------------------------------------------------

    def unpack(self) -> None:
        self.win_folder = os.path.join(self.workdir, "windows", "Vesmar")
        if os.path.isdir(self.package):
            shutil.copytree(self.package, self.win_folder)
        else:
            with zipfile.ZipFile(self.package) as archive:
                archive.extractall(os.path.join(self.workdir, "windows"))
        if not os.path.isfile(os.path.join(self.win_folder, "Vesmar.exe")):
            raise Failure(f"{self.package} holds no Vesmar/Vesmar.exe")
        harness.write_program_directory(self.win_folder, None, NAMES[WINDOWS],
                                        directory_lines(LINUX, PEER), quiet=True)
        self.linux_folder = harness.write_program_directory(
            os.path.join(self.workdir, "linux"), self.linux_binary, NAMES[LINUX],
            directory_lines(WINDOWS, PEER), quiet=True)

    def prepare_wine(self) -> None:
        """A Windows 10 prefix, and its wineserver started inside the Windows
        copy's namespace. Wine's sockets are made by the wineserver, so they
        live in the wineserver's namespace, whichever namespace the program
        was started in: a wineserver outside would put the Windows copy's
        port 333 on the machine's own network."""
        env = dict(self.wine_env())
        env.pop("DISPLAY")
        if not os.path.exists(os.path.join(self.prefix, ".windows10")):
            subprocess.run(["wineboot", "-i"], env=env, capture_output=True, timeout=300)
            subprocess.run(["wine", "winecfg", "/v", "win10"], env=env, check=True,
                           capture_output=True, timeout=300)
            subprocess.run(["wineserver", "-w"], env=env, timeout=300)
            open(os.path.join(self.prefix, ".windows10"), "w").close()
        # A wineserver of this prefix still running elsewhere (from the
        # prefix's set-up, or the tests) would be used instead.
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)
        subprocess.run(self.net.exec_in(WINDOWS, "wineserver", "-p"), env=env, check=True,
                       timeout=60)
        self.wineserver_env = env

    def check_socket_in_namespace(self) -> None:
        """The Windows copy's port 333 is open inside its namespace and not
        on the machine's own network."""
        inside = subprocess.run(self.net.exec_in(WINDOWS, "ss", "-uanH", "sport", "= :333"),
                                capture_output=True, text=True, check=True).stdout
        outside = subprocess.run(["ss", "-uanpH", "sport", "= :333"], capture_output=True,
                                 text=True, check=True).stdout
        if not inside.strip():
            raise Failure("the Windows copy's port 333 is not open in its namespace")
        if "wineserver" in outside or "Vesmar.exe" in outside:
            raise Failure(f"the Windows copy's port 333 is open outside its namespace: {outside}")

    def start(self) -> None:
        self.unpack()
        self.net.open()
        self.start_display(numbers=DISPLAYS, screen="2000x1100x24")
        # A Cyrillic and a Latin group, so that xdotool finds every letter in
        # the keymap and never remaps a key while it types. Cyrillic first:
        # the lines typed are Cyrillic, and a letter in the first group needs
        # no group switch, which Wine sometimes sees a key too late.
        self.x_tool("setxkbmap", "-layout", "ru,us")
        self.prepare_wine()

        self.wire = self.sniffer()
        self.peer = self.scripted(PEER, "udp_peer.py", name="peer")

        self.copies[WINDOWS] = self.start_windows_copy("windows.log")
        self.windows[WINDOWS] = self.find_window(WINDOWS)
        self.check_socket_in_namespace()
        self.ok("the Windows program's window «Зовница» maps under Wine; its port 333 is "
                "open in its namespace")
        env = harness.copy_environment(QT_QPA_PLATFORM="xcb", DISPLAY=self.x_env["DISPLAY"])
        self.start_program(LINUX, self.linux_folder, env, "linux.log")
        self.windows[LINUX] = self.find_window(LINUX)
        # Both windows open in the middle of the screen; without a window
        # manager the later one covers the other, and the mouse clicks meant
        # for the Windows window would land on it.
        self.xdotool("windowmove", "--sync", self.windows[LINUX], "1340", "0")

    def check_registration(self) -> None:
        for host in (WINDOWS, LINUX):
            self.peer_receives(host, PREFIX + "MYNAMEIS2:" + NAMES[host],
                               f"registration of {NAMES[host]} at the peer")
        # The Windows copy started first, so its registration to the Linux
        # copy may have found nobody; the Linux copy's registration and the
        # answer to it are the handshake in that direction.
        self.wire_exact(LINUX, WINDOWS, PREFIX + "MYNAMEIS2:" + NAMES[LINUX],
                        "registration ЛИНУКС -> ОКНА")
        self.wire_exact(WINDOWS, LINUX, PREFIX + "MYNAMEIS3:" + NAMES[WINDOWS],
                        "answer ОКНА -> ЛИНУКС")
        self.wire_exact(WINDOWS, LINUX, PREFIX + "MYNAMEIS2:" + NAMES[WINDOWS],
                        "registration ОКНА -> ЛИНУКС")
        self.ok("the Windows and the Linux copy register with each other and answer")

        since = self.peer.mark()
        self.peer_send(WINDOWS, PREFIX + "MYNAMEIS2:" + NAMES[PEER])
        self.peer_receives(WINDOWS, PREFIX + "MYNAMEIS3:" + NAMES[WINDOWS],
                           "the answer to the peer's registration", since=since)
        self.peer_send(LINUX, PREFIX + "MYNAMEIS2:" + NAMES[PEER])
        self.ok("the Windows copy answers ~#&!^~:MYNAMEIS2:ПИР with exactly "
                "~#&!^~:MYNAMEIS3:ОКНА")
        since = self.peer.mark()
        self.peer_send(WINDOWS, PREFIX + "AUTODETECT1")
        self.peer_receives(WINDOWS, PREFIX + "MYNAMEIS1:" + NAMES[WINDOWS],
                           "the answer to a link check", since=since)
        self.ok("the Windows copy answers a link check with its name")

    def check_chat(self) -> None:
        # Everyone in both rosters before the lines go out: the peer's
        # registration reached both (the barrier above), and the copies'
        # handshake was checked.
        since_peer, since_wire = self.peer.mark(), self.wire.mark()
        # Only keys of the display's first group: Wine 8 reads some keys that
        # xdotool types in another group with the first group's letter ("а"
        # came out as "f", "," as "б"); the Linux copy takes them all.
        text = "привет из окон 42"
        line = NAMES[WINDOWS] + ": " + text
        self.type_line(WINDOWS, text)
        found = self.peer_receives(WINDOWS, line, "the line typed into the Windows window",
                                   since=since_peer)
        if found["port"] != 333:
            raise Failure(f"the line came from port {found['port']}, not 333")
        self.ok("a line typed into the Windows window reaches the peer as ОКНА: text in "
                "Windows-1251, from port 333 to port 333")
        line_id = self.wire_chat_with_id(WINDOWS, LINUX, line, "the line ОКНА -> ЛИНУКС",
                                         since=since_wire)
        self.wire_receipt(LINUX, WINDOWS, line_id,
                        "the Linux copy's receipt", since=since_wire)
        self.ok("the Linux copy gets the Windows copy's line byte for byte and confirms it")

        since_wire = self.wire.mark()
        text = "ответ с линукса: ёЁ №5"
        line = NAMES[LINUX] + ": " + text
        self.type_line(LINUX, text)
        line_id = self.wire_chat_with_id(LINUX, WINDOWS, line, "the line ЛИНУКС -> ОКНА",
                                         since=since_wire)
        self.wire_receipt(WINDOWS, LINUX, line_id,
                        "the Windows copy's receipt", since=since_wire)
        self.wire_exact(LINUX, PEER, line, "the line ЛИНУКС -> ПИР", since=since_wire)
        self.ok("the Windows copy gets the Linux copy's line byte for byte and confirms it")

    def check_private_line(self) -> None:
        """The recipient choice «Выборочно» and the roster's entry of the Linux
        copy, chosen with the mouse, then a typed line to that entry alone."""
        window = self.windows[WINDOWS]
        geometry = dict(line.split("=", 1) for line in self.xdotool(
            "getwindowgeometry", "--shell", window).splitlines())
        print(f"# Windows window at {geometry}", flush=True)
        self.click(window, *PRIVATE_CHOICE)
        self.click(window, *ROSTER_FIRST_ROW)
        since_peer, since_wire = self.peer.mark(), self.wire.mark()
        text = "только тебе"
        line = "*>" + NAMES[WINDOWS] + ": " + text
        self.type_line(WINDOWS, text)
        line_id = self.wire_chat_with_id(WINDOWS, LINUX, line,
                                         "the private line ОКНА -> ЛИНУКС", since=since_wire)
        self.wire_receipt(LINUX, WINDOWS, line_id,
                        "the receipt of the private line", since=since_wire)
        # A link check to the peer after the line: once it is answered, the
        # peer would have had the line too.
        self.peer_send(WINDOWS, PREFIX + "AUTODETECT1")
        self.peer_receives(WINDOWS, PREFIX + "MYNAMEIS1:" + NAMES[WINDOWS],
                           "the answer to a link check", since=since_peer)
        private = [d for d in self.peer.lines[since_peer:]
                   if "hex" in d and cp1251(text).hex() in d["hex"]]
        if private:
            raise Failure(f"the peer got the private line: {private}")
        self.ok("a private line goes to the chosen roster member alone, and is confirmed")

    def click(self, window: str, x: int, y: int) -> None:
        self.xdotool("mousemove", "--window", window, str(x), str(y))
        self.xdotool("click", "1")
        time.sleep(0.5)

    def check_second_start(self) -> None:
        since = self.wire.mark()
        second = self.start_windows_copy("windows-second.log")
        deadline = time.monotonic() + WAIT
        box = ""
        while not box:
            if second.poll() is not None:
                raise Failure(f"the second start ended (exit code {second.returncode}) "
                              "without showing its message")
            try:
                box = self.xdotool("search", "--onlyvisible", "--all", "--pid", str(second.pid),
                                   "--name", ".")
            except subprocess.CalledProcessError:
                box = ""
            if time.monotonic() > deadline:
                raise Failure("the second start showed no message box")
            time.sleep(0.3)
        box = box.splitlines()[0]
        self.screenshot("second-start.png")
        name = self.xdotool("getwindowname", box)
        if name == "Зовница":
            raise Failure("the second start opened a window «Зовница»")
        self.xdotool("key", "--window", box, "Return")
        try:
            second.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("the second start did not end when its message was closed")
        sent = [d for d in self.wire.lines[since:] if d.get("src") == address(WINDOWS)]
        if self.copies[WINDOWS].poll() is not None:
            raise Failure("the first Windows copy ended at the second start")
        since_peer = self.peer.mark()
        self.peer_send(WINDOWS, PREFIX + "AUTODETECT1")
        self.peer_receives(WINDOWS, PREFIX + "MYNAMEIS1:" + NAMES[WINDOWS],
                           "the first copy's answer after the second start", since=since_peer)
        registrations = [d for d in sent if bytes.fromhex(d["hex"]).startswith(
            cp1251(PREFIX + "MYNAMEIS2:"))]
        if registrations:
            raise Failure(f"the second start registered: {registrations}")
        self.ok(f"a second start is refused with a message box («{name}») and ends; the "
                "first copy runs on")

    def screenshot(self, name: str) -> None:
        folder = os.environ.get("VESMAR_E2E_SCREENSHOTS")
        if folder and shutil.which("import"):
            os.makedirs(folder, exist_ok=True)
            subprocess.run(["import", "-window", "root", os.path.join(folder, name)],
                           env=self.x_env, capture_output=True, timeout=WAIT)

    def check_close(self) -> None:
        self.screenshot("windows-and-linux.png")
        since_peer, since_wire = self.peer.mark(), self.wire.mark()
        # The keyboard focus back in the window (the second start's message
        # had it), then Alt+F4, which Windows turns into the window's close.
        self.click(self.windows[WINDOWS], *MESSAGE_FIELD)
        self.xdotool("key", "alt+F4")
        try:
            code = self.copies[WINDOWS].wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure(f"the Windows copy did not end within {WAIT:.0f} s of Alt+F4")
        if code != 0:
            raise Failure(f"the Windows copy ended with exit code {code}")
        notice = PREFIX + "IAMEXIT:" + NAMES[WINDOWS]
        self.peer_receives(WINDOWS, notice, "the exit notice at the peer", since=since_peer)
        self.wire_exact(WINDOWS, LINUX, notice, "the exit notice to the Linux copy",
                        since=since_wire)
        self.ok("closing the Windows window ends the program and sends its exit notices")

        with open(os.path.join(self.win_folder, "ListCorr.dat"), "rb") as saved:
            directory = saved.read()
        expected = harness.directory_bytes(directory_lines(LINUX, PEER))
        if directory != expected:
            raise Failure(f"ListCorr.dat holds {directory!r}, expected {expected!r}")
        with open(os.path.join(self.win_folder, "Vesmar.ini"), "rb") as saved:
            settings = saved.read()
        lines = settings.split(b"\r\n")
        if lines[-1] != b"" or any(b"\n" in line or b"\r" in line for line in lines):
            raise Failure(f"Vesmar.ini has lines that do not end in CRLF: {settings!r}")
        if b"MyName=" + cp1251(NAMES[WINDOWS]) not in lines or b"[START]" not in lines:
            raise Failure(f"Vesmar.ini does not hold the settings: {settings!r}")
        self.ok("Vesmar.ini and ListCorr.dat lie beside Vesmar.exe, in Windows-1251 with "
                "CRLF lines")

    def finish(self) -> None:
        self.end_program(LINUX, "the Linux copy")
        self.ok("the Linux copy ends normally")

    def report_failure(self) -> None:
        self.screenshot("failure.png")
        for collected in (self.peer, self.wire):
            if collected is not None:
                collected.print_datagrams()
        super().report_failure()

    def close(self) -> None:
        harness.end_processes(self.children)
        if self.wineserver_env:
            subprocess.run(["wineserver", "-k"], env=self.wineserver_env, capture_output=True,
                           timeout=60)
        self.net.close()


# Where, in the Windows window, the recipient choice «Выборочно» and the
# roster's first row are (window coordinates; the layout is the program's
# own and does not depend on the display).
PRIVATE_CHOICE = (203, 119)
ROSTER_FIRST_ROW = (455, 78)
MESSAGE_FIELD = (197, 81)


def main() -> int:
    def make(args: list[str], workdir: str) -> Scenario:
        prefix = os.path.abspath(args[2]) if len(args) == 3 else os.path.join(workdir, "wine")
        return Scenario(os.path.abspath(args[0]), os.path.abspath(args[1]), prefix, workdir)

    return harness.main(
        __doc__, make,
        lambda s: [s.start, s.check_registration, s.check_chat, s.check_private_line,
                   s.check_second_start, s.check_close, s.finish],
        arguments=(2, 3), folder="vesmar-e2e-windows-",
        prerequisite=lambda: harness.missing_prerequisite(
            ("ip", "Xvfb", "setxkbmap", "xdotool", "wine", "wineserver")))


if __name__ == "__main__":
    sys.exit(main())
