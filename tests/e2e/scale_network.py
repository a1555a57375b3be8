#!/usr/bin/env python3
"""Many copies of the built program on one bridge, and every datagram between them.

ScaleNetwork starts N copies, each in a network namespace of its own on one
bridge (harness.TestNetwork), at 10.27.0.1 to 10.27.0.N, each from a
program directory of its own whose directory file lists all N addresses, its
own too. Copy 1 shows its window on an Xvfb display and talks to a private
AT-SPI bus (atspi_window.py), so that its roster can be read and a line put
into it; the others run on the offscreen platform. All copies are started one
right after the other.

A capture process in the hub namespace (this file run as
"scale_network.py capture FILE") records every UDP datagram that the bridge
delivers on ports 333 and 334, with the kernel's time of arrival, to FILE;
Capture reads it back while the copies run. The functions below the classes
turn the records into the figures the benchmark and the end-to-end test
report: what each copy sent, whether a line reached everyone, and when each
survivor removed a copy that was killed.

Both users need root; everything is removed again by close(), also after a
failure or Ctrl-C.
"""
import bisect
import collections
import os
import re
import select
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import atspi_window  # noqa: E402

atspi_window.require_system_python()

import harness  # noqa: E402
from harness import Failure, cp1251  # noqa: E402

SUBNET = "10.27.0."
PREFIX = b"~#&!^~:"
CONFERENCE_PORT = 333
HANDSHAKE_PORT = 334
WAIT = 60.0
RECORD = struct.Struct("<d4s4sHHH")   # time, source, destination, ports, payload length
HEX8 = rb"([0-9A-F]{8})"
GONE = re.compile(re.escape(PREFIX + b"VSGONE:") + HEX8 + rb"\Z")
PING = re.compile(re.escape(PREFIX + b"VSPING:") + HEX8 + rb"\Z")
PONG = re.compile(re.escape(PREFIX + b"VSPONG:") + HEX8 + rb"\Z")
ACK = re.compile(re.escape(PREFIX + b"VSACK:") + HEX8 + rb"\Z")
TAIL = re.compile(rb"\0VSID:" + HEX8 + rb"\Z")
# A survivor of the old watch sends a dead member probes every few seconds
# until it drops it, then at most one call-back a minute: the first gap this
# long in its datagrams to the dead address marks the removal.
OLD_REMOVAL_GAP = 50.0
# A claim that a member is gone is checked with pings at +0, +1 and +2 s and
# acted on at +3 s.
CLAIM_CHECK = 3.0


def address(host: int) -> str:
    return SUBNET + str(host)


def host_of(raw: bytes) -> int:
    """The host number of a 4-byte address inside the test network, else 0."""
    text = socket.inet_ntoa(raw)
    return int(text[len(SUBNET):]) if text.startswith(SUBNET) else 0


def host_of_hex(digits: bytes) -> int:
    return host_of(bytes.fromhex(digits.decode()))


def name(host: int) -> str:
    return f"КОПИЯ{host:03d}"


def entry(host: int) -> str:
    return f"{name(host)} _|_ {address(host)}"


# -- the capture process -----------------------------------------------------

SO_TIMESTAMPNS = 35
SO_RCVBUFFORCE = 33
SOL_PACKET = 263
PACKET_STATISTICS = 6
PACKET_OUTGOING = 4


def capture(path: str) -> None:
    """Records every UDP datagram to ports 333/334 that leaves the hub through
    a bridge port (so each delivered datagram exactly once) until SIGTERM, then
    prints how many frames the kernel had to drop for want of buffer."""
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0003))
    # A large buffer: with hundreds of copies on two cores this process can
    # be kept off the processor for seconds at a time.
    sock.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, 512 << 20)
    sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    dropped = 0
    with open(path, "wb") as out:
        print("ready", flush=True)
        flushed = time.monotonic()
        while not stop:
            try:
                readable, _, _ = select.select([sock], [], [], 0.2)
            except InterruptedError:
                continue
            if readable:
                frame, ancillary, _, (ifname, _p, pkttype, _h, _a) = sock.recvmsg(
                    65535, socket.CMSG_SPACE(16))
                record = parse_frame(frame, ancillary) \
                    if pkttype == PACKET_OUTGOING and ifname.startswith("port") else None
                if record:
                    out.write(record)
            if time.monotonic() - flushed > 0.2:
                out.flush()
                flushed = time.monotonic()
        stats = sock.getsockopt(SOL_PACKET, PACKET_STATISTICS, 8)
        dropped = struct.unpack("II", stats)[1]
    print(f"dropped {dropped}", flush=True)


def parse_frame(frame: bytes, ancillary) -> bytes:
    if len(frame) < 42 or frame[12:14] != b"\x08\x00":
        return b""
    ip = frame[14:]
    header = (ip[0] & 0x0F) * 4
    if ip[9] != 17 or len(ip) < header + 8:
        return b""
    total = struct.unpack("!H", ip[2:4])[0]
    udp = ip[header:total]
    sport, dport, length = struct.unpack("!HHH", udp[:6])
    if dport not in (CONFERENCE_PORT, HANDSHAKE_PORT):
        return b""
    payload = udp[8:length]
    stamp = time.time()
    for level, kind, data in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(data) >= 16:
            seconds, nanoseconds = struct.unpack("qq", data[:16])
            stamp = seconds + nanoseconds / 1e9
    return RECORD.pack(stamp, ip[12:16], ip[16:20], sport, dport, len(payload)) + payload


Datagram = collections.namedtuple("Datagram", "t src dst dport data")


class Capture:
    """Reads the capture file back as it grows: records holds a Datagram per
    delivered datagram (src and dst as host numbers), in order of arrival."""

    def __init__(self, path: str):
        self.path = path
        self.records: list[Datagram] = []
        self.pending = b""
        self.offset = 0

    def update(self) -> list:
        with open(self.path, "rb") as source:
            source.seek(self.offset)
            chunk = source.read()
        self.offset += len(chunk)
        data = self.pending + chunk
        at = 0
        while len(data) - at >= RECORD.size:
            stamp, src, dst, _sport, dport, length = RECORD.unpack_from(data, at)
            end = at + RECORD.size + length
            if end > len(data):
                break
            self.records.append(Datagram(stamp, host_of(src), host_of(dst), dport,
                                         data[at + RECORD.size:end]))
            at = end
        self.pending = data[at:]
        return self.records


# -- the copies ----------------------------------------------------------------

class ScaleNetwork:
    def __init__(self, binary: str, count: int, workdir: str, tag: str = "vsc",
                 static_neighbours: bool = True):
        if not 3 <= count <= 250:
            raise ValueError("between 3 and 250 copies")
        self.binary = binary
        self.count = count
        self.static_neighbours = static_neighbours
        self.workdir = workdir
        self.hosts = list(range(1, count + 1))
        self.net = harness.TestNetwork(tag, {h: [h] for h in self.hosts}, subnet=SUBNET)
        self.children: list[subprocess.Popen] = []
        self.copies: dict[int, subprocess.Popen] = {}
        self.capture_process = None
        self.capture = Capture(os.path.join(workdir, "capture.bin"))
        self.bus = None
        self.window = None
        self.stopped: set[int] = set()
        self.first_start = self.last_start = None
        self.dropped = None
        self.exit_codes: dict[int, int] = {}

    def spawn(self, command, log_name, env=None, stdout=None):
        log = open(os.path.join(self.workdir, log_name), "ab")
        process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                   stdout=stdout or log, stderr=log, text=stdout is not None)
        log.close()
        self.children.append(process)
        return process

    def open(self) -> None:
        plain_env = dict(os.environ)
        self.net.open()
        if self.static_neighbours:
            self.fill_neighbours()
        display = harness.start_display(self.spawn)
        self.x_env = dict(plain_env, DISPLAY=f":{display}")
        self.bus = atspi_window.AccessibilityBus(self.workdir, f":{display}")
        self.bus.start()
        self.capture_process = self.spawn(
            self.net.exec_in("hub", sys.executable, os.path.abspath(__file__), "capture",
                             self.capture.path), "capture.log", stdout=subprocess.PIPE)
        if self.capture_process.stdout.readline().strip() != "ready":
            raise Failure("the capture did not start")
        folders = {host: self.write_program_directory(host) for host in self.hosts}
        offscreen = dict(plain_env, QT_QPA_PLATFORM="offscreen")
        for variable in ("DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"):
            offscreen.pop(variable, None)
        # ctest asks for the leak check (tests/CMakeLists.txt); by hand it is off.
        offscreen.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        windowed = self.bus.env(plain_env)
        windowed.update(QT_QPA_PLATFORM="xcb", ASAN_OPTIONS=offscreen["ASAN_OPTIONS"])
        self.first_start = time.time()
        for host in self.hosts:
            self.copies[host] = self.spawn(
                self.net.exec_in(host, os.path.join(folders[host], "Vesmar")),
                f"copy{host}.log", env=windowed if host == 1 else offscreen)
        self.last_start = time.time()
        self.window = atspi_window.Window.of_process(self.copies[1].pid, timeout=120)

    def fill_neighbours(self) -> None:
        """Gives every namespace a permanent neighbour entry for every other
        address. With dozens of copies starting at once, a copy's first
        datagrams to peers whose hardware address it has not resolved yet
        wait for address resolution, and in that burst many of them never
        leave: the two copies of such a pair never meet. The measurement is of
        the program, so the hosts know each other's hardware addresses, as the
        hosts of a LAN that has been up a while do."""
        macs = {}
        for host in self.hosts:
            shown = subprocess.run(self.net.exec_in(host, "cat", "/sys/class/net/eth0/address"),
                                   check=True, capture_output=True, text=True)
            macs[host] = shown.stdout.strip()
        for host in self.hosts:
            batch = "".join(f"neigh replace {address(other)} lladdr {macs[other]} dev eth0 "
                            "nud permanent\n" for other in self.hosts if other != host)
            subprocess.run(["ip", "-n", self.net.hosts[host], "-batch", "-"], input=batch,
                           text=True, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)

    def write_program_directory(self, host: int) -> str:
        folder = os.path.join(self.workdir, f"copy{host}")
        os.makedirs(folder)
        program = os.path.join(folder, harness.PROGRAM)
        try:
            os.link(self.binary, program)   # one file in the page cache for all
        except OSError:
            shutil.copy2(self.binary, program)
        return harness.write_program_directory(folder, None, name(host),
                                               [entry(h) for h in self.hosts], quiet=True)

    def records(self) -> list:
        return self.capture.update()

    def roster(self) -> list:
        return self.window.roster_rows()

    def send_line(self, text: str) -> float:
        """Puts the text into copy 1's message field and presses Return;
        returns the time just before the key."""
        pid = self.copies[1].pid
        window = self.xdotool("search", "--sync", "--onlyvisible", "--all", "--pid", str(pid),
                              "--name", "^Зовница$").splitlines()[0]
        self.xdotool("windowfocus", "--sync", window)
        if self.xdotool("getwindowfocus", "-f") != window:
            raise Failure("copy 1's window did not get the keyboard focus")
        field = self.window.find("text", "Сообщение")
        field.queryEditableText().setTextContents(text)
        shown = field.queryText()
        if shown.getText(0, -1) != text:
            raise Failure(f"the message field holds {shown.getText(0, -1)!r}")
        sent = time.time()
        self.xdotool("key", "Return")
        deadline = time.monotonic() + 30
        while shown.getText(0, -1):
            if time.monotonic() > deadline:
                raise Failure("the line was not sent within 30 s of Return")
            time.sleep(0.05)
        return sent

    def xdotool(self, *args: str) -> str:
        result = subprocess.run(["xdotool", *args], env=self.x_env, check=True,
                                capture_output=True, text=True, timeout=WAIT)
        return result.stdout.strip()

    def signal(self, host: int, number: int) -> None:
        self.copies[host].send_signal(number)
        if number == signal.SIGSTOP:
            self.stopped.add(host)
        elif number == signal.SIGCONT:
            self.stopped.discard(host)
        elif number == signal.SIGKILL:
            self.copies[host].wait(timeout=WAIT)

    def processor_seconds(self, host: int) -> float:
        """utime + stime of the copy's process."""
        with open(f"/proc/{self.copies[host].pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def resident_kib(self, host: int) -> int:
        with open(f"/proc/{self.copies[host].pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def is_program(self, host: int) -> bool:
        """The process started is the program itself (ip netns exec execs it)."""
        try:
            return os.path.basename(os.readlink(f"/proc/{self.copies[host].pid}/exe")) == "Vesmar"
        except OSError:
            return False

    def end_copies(self) -> None:
        """Ends the copies still running with SIGTERM, as a user's logout
        would, and keeps their exit codes in exit_codes (None: it had to be
        killed)."""
        running = {h: p for h, p in self.copies.items() if p.poll() is None}
        for process in running.values():
            process.terminate()
        deadline = time.monotonic() + WAIT
        for host, process in running.items():
            try:
                self.exit_codes[host] = process.wait(timeout=max(1.0, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                self.exit_codes[host] = None

    def close(self) -> None:
        for host in list(self.stopped):
            self.copies[host].send_signal(signal.SIGCONT)
        if self.capture_process is not None and self.capture_process.poll() is None:
            self.capture_process.terminate()
            try:
                said, _ = self.capture_process.communicate(timeout=30)
                found = re.search(r"dropped (\d+)", said or "")
                self.dropped = int(found.group(1)) if found else None
            except subprocess.TimeoutExpired:
                pass
        self.end_copies()
        harness.end_processes(self.children)
        if self.bus is not None:
            self.bus.close()
        self.net.close()


# -- what the records say ------------------------------------------------------

def sent_per_copy(records, hosts, since: float, until: float) -> dict:
    """{host: Counter(port -> datagrams sent)} between two times."""
    sent = {host: collections.Counter() for host in hosts}
    for record in records:
        if since <= record.t < until and record.src in sent:
            sent[record.src][record.dport] += 1
    return sent


def quiet_from(records, since: float, until: float, limit_per_second: float,
               window: float = 5.0):
    """The first time from since on after which a whole window carries at most
    limit_per_second × window datagrams, if the records up to until show one."""
    times = [r.t for r in records if r.t >= since]
    start, low = since, 0
    while start + window <= until:
        while low < len(times) and times[low] < start:
            low += 1
        high = low
        while high < len(times) and times[high] < start + window:
            high += 1
        if high - low <= limit_per_second * window:
            return start
        start += 1.0
    return None


def chat_reach(records, sender: int, text: str, since: float) -> tuple:
    """The copies that got the chat line from sender (plain or with an id) and
    those that sent a receipt back for the id that went to them."""
    line = cp1251(text)
    ids = {}
    reached = set()
    for record in records:
        if record.t < since or record.src != sender or record.dport != CONFERENCE_PORT:
            continue
        tail = TAIL.search(record.data)
        body = record.data[:tail.start()] if tail else record.data
        if body == line:
            reached.add(record.dst)
            if tail:
                ids[tail.group(1)] = record.dst
    confirmed = set()
    for record in records:
        if record.t < since or record.dst != sender or record.dport != HANDSHAKE_PORT:
            continue
        ack = ACK.match(record.data)
        if ack and ids.get(ack.group(1)) == record.src:
            confirmed.add(record.src)
    return reached, confirmed


def gone_notices(records, since: float, until: float = float("inf")) -> list:
    """(time, sender, receiver, host named) of every gone notice between two times."""
    found = []
    for record in records:
        if since <= record.t < until and record.dport == HANDSHAKE_PORT:
            gone = GONE.match(record.data)
            if gone:
                found.append((record.t, record.src, record.dst, host_of_hex(gone.group(1))))
    return found


def removals(records, dead: int, survivors, killed: float, now: float) -> dict:
    """{survivor: (time it removed dead, how it was seen)} for every survivor
    that the records show removing it:
    - it sent a gone notice naming dead: the first one;
    - it got one and then pinged dead: its first such ping + 3 s;
    - where no copy sends gone notices at all (the old watch): its last datagram
      to dead before a gap of at least 50 s in those datagrams ("last probe")."""
    notices = gone_notices(records, killed)
    found = {}
    if notices:
        told = {}
        for stamp, sender, receiver, named in notices:
            if named != dead:
                continue
            if sender in survivors and sender not in found:
                found[sender] = (stamp, "gone notice sent")
            told.setdefault(receiver, stamp)
        for record in records:
            if record.src in told and record.src not in found and record.dst == dead \
                    and record.t >= told[record.src] and PING.match(record.data):
                found[record.src] = (record.t + CLAIM_CHECK, "checked a gone notice")
        return {host: found[host] for host in survivors if host in found}
    to_dead = collections.defaultdict(list)
    for record in records:
        if record.t >= killed and record.dst == dead and record.src in survivors:
            to_dead[record.src].append(record.t)
    for host, times in to_dead.items():
        for here, after in zip(times, times[1:] + [now]):
            if after - here >= OLD_REMOVAL_GAP:
                found[host] = (here, "last probe")
                break
    return found


def kinds_sent(records, host: int, since: float) -> collections.Counter:
    """What one copy sent from since on, by the keyword after the control prefix."""
    kinds = collections.Counter()
    for record in records:
        if record.t >= since and record.src == host and record.data.startswith(PREFIX):
            kinds[record.data[len(PREFIX):].split(b":", 1)[0].decode("ascii", "replace")] += 1
    return kinds


def summary(values) -> tuple:
    """(mean, min, max), or zeros for no values."""
    values = list(values)
    if not values:
        return 0.0, 0.0, 0.0
    return statistics.fmean(values), min(values), max(values)


# -- one run ---------------------------------------------------------------------

class Run:
    """Drives one ScaleNetwork through start-up, a line from copy 1, an idle
    window, a copy killed and a copy paused, and keeps what it measured in
    self.figures (plain numbers, for checks) and self.rows (the table)."""

    QUIET_PER_COPY_PER_MINUTE = 20   # a 5 s window at or under this is quiet
    LINE = "всем привет, проверка связи"

    def __init__(self, net: ScaleNetwork, idle_seconds: float = 120.0,
                 startup_limit: float = 120.0, kill_limit: float = 360.0,
                 progress=print):
        self.net = net
        self.idle_seconds = idle_seconds
        self.startup_limit = startup_limit
        self.kill_limit = kill_limit
        self.progress = progress
        self.figures: dict = {}
        self.rows: list[tuple[str, str]] = []
        self.count = net.count
        self.killed_host = net.count
        self.paused_host = 2

    def records(self) -> list:
        return self.net.records()

    def all(self) -> None:
        self.startup()
        self.line()
        self.idle()
        self.kill()
        self.pause()

    def startup(self) -> None:
        net = self.net
        limit_rate = self.count * self.QUIET_PER_COPY_PER_MINUTE / 60
        deadline = net.last_start + self.startup_limit
        # The search for quiet starts once every copy has sent something: a
        # copy that is still loading its libraries sends nothing either.
        begun = None
        quiet = None
        while quiet is None and time.time() < deadline:
            atspi_window.pump(1.0)
            records = self.records()
            if begun is None:
                first = {}
                for record in records:
                    first.setdefault(record.src, record.t)
                if set(first) >= set(net.hosts):
                    begun = max(first[h] for h in net.hosts)
                continue
            quiet = quiet_from(records, begun, time.time(), limit_rate)
        begun = begun or net.last_start
        records = self.records()
        end = quiet
        if end is None:
            # Never quiet: the burst of the start is taken to end where its
            # rate fell to a quarter of its peak.
            times = sorted(r.t for r in records)
            peak = max((bisect.bisect_left(times, s + 5) - bisect.bisect_left(times, s)
                        for s in range(int(net.first_start), int(deadline))), default=0)
            end = quiet_from(records, begun, deadline, peak / 4 / 5) or deadline
        startup = [r for r in records if net.first_start <= r.t < end]
        sent = sent_per_copy(startup, net.hosts, net.first_start, end)
        per_copy = [sum(c.values()) for c in sent.values()]
        self.figures.update(startup_datagrams=len(startup), startup_seconds=end - net.first_start,
                            quiet=quiet is not None)
        text = (f"{len(startup):,} datagrams, {len(startup) / self.count:.0f} a copy "
                f"(sent {min(per_copy)}–{max(per_copy)}); ")
        if quiet is not None:
            text += f"quiet {end - net.first_start:.1f} s after the first copy started"
        else:
            text += (f"never quiet (≤ {self.QUIET_PER_COPY_PER_MINUTE} a copy a minute) within "
                     f"{self.startup_limit:.0f} s; the burst ended "
                     f"{end - net.first_start:.1f} s after the first start")
        pairs = len({(r.src, r.dst) for r in startup if r.src and r.dst and r.src != r.dst})
        self.figures["startup_pairs"] = pairs
        text += (f"; {pairs:,} of {self.count * (self.count - 1):,} ordered pairs exchanged "
                 "datagrams")
        text += (f" (all {self.count} started within {net.last_start - net.first_start:.1f} s, "
                 f"the last sent its first datagram {begun - net.first_start:.1f} s after the "
                 "first start)")
        self.rows.append(("start-up exchange", text))
        self.progress(f"start-up: {text}")

    def line(self) -> None:
        net = self.net
        expected = {entry(h) for h in net.hosts}
        def complete():
            rows = net.roster()
            return rows if set(rows) == expected else None

        try:
            rows = atspi_window.wait_until(f"copy 1's roster of {self.count}", complete, WAIT)
        except atspi_window.AccessibilityError:
            rows = net.roster()
        others = set(net.hosts) - {1}
        text = name(1) + ": " + self.LINE
        since = net.send_line(self.LINE)
        deadline = time.time() + 30
        while True:
            reached, confirmed = chat_reach(self.records(), 1, text, since - 1)
            if (reached >= others and confirmed >= others) or time.time() > deadline:
                break
            atspi_window.pump(1.0)
        reached &= others
        confirmed &= others
        self.figures.update(reached=len(reached), confirmed=len(confirmed),
                            roster_rows=len(rows), roster_complete=set(rows) == expected)
        mark = "✓" if len(reached) == len(confirmed) == len(others) else "✗"
        text = (f"{mark} the line from copy 1 reached {len(reached)} of the {len(others)} others, "
                f"{len(confirmed)} receipts from distinct copies; copy 1's roster shows "
                f"{len(rows)} rows ({self.count} expected"
                f"{'' if set(rows) == expected else ', not the expected ones'})")
        self.rows.append(("roster completeness", text))
        self.progress(f"line: {text}")
        atspi_window.pump(3.0)   # the receipts and any resends are over

    def idle(self) -> None:
        net = self.net
        before = {h: net.processor_seconds(h) for h in net.hosts}
        since = time.time()
        self.progress(f"idle window of {self.idle_seconds:.0f} s")
        atspi_window.pump(self.idle_seconds)
        until = time.time()
        after = {h: net.processor_seconds(h) for h in net.hosts}
        resident = [net.resident_kib(h) / 1024 for h in net.hosts]
        atspi_window.pump(1.0)   # the capture has written the window's last datagrams
        minutes = (until - since) / 60
        sent = sent_per_copy(self.records(), net.hosts, since, until)
        both = [sum(c.values()) / minutes for c in sent.values()]
        ports = {port: [c[port] / minutes for c in sent.values()]
                 for port in (CONFERENCE_PORT, HANDSHAKE_PORT)}
        mean, low, high = summary(both)
        self.figures.update(idle_mean=mean, idle_max=high, idle_total=sum(both))
        self.rows.append(("idle datagrams sent per copy per minute",
                          f"mean {mean:.1f}, min {low:.1f}, max {high:.1f} "
                          f"({minutes * 60:.0f} s window)"))
        for port, values in ports.items():
            mean_p, low_p, high_p = summary(values)
            self.rows.append((f"… to port {port}",
                              f"mean {mean_p:.1f}, min {low_p:.1f}, max {high_p:.1f}"))
        self.rows.append(("idle datagrams on the network per minute", f"{sum(both):,.0f}"))
        cpu = [(after[h] - before[h]) / minutes for h in net.hosts]
        cpu_mean, _, cpu_max = summary(cpu)
        rss_mean, _, rss_max = summary(resident)
        self.figures.update(cpu_mean=cpu_mean, cpu_max=cpu_max, rss_mean=rss_mean,
                            rss_max=rss_max)
        self.rows.append(("idle processor time per copy",
                          f"mean {cpu_mean:.3f} s a minute, max {cpu_max:.3f} s a minute"))
        self.rows.append(("resident memory per copy",
                          f"mean {rss_mean:.1f} MB, max {rss_max:.1f} MB"))
        self.progress(f"idle: {mean:.1f} a copy a minute (max {high:.1f}), "
                      f"{sum(both):,.0f} on the network")

    def kill(self) -> None:
        net = self.net
        dead = self.killed_host
        survivors = set(net.hosts) - {dead}
        killed = time.time()
        net.signal(dead, signal.SIGKILL)
        self.progress(f"copy {dead} killed; waiting for every survivor to remove it")
        left_roster = None
        found = {}
        while True:
            now = time.time()
            if left_roster is None:
                try:
                    if entry(dead) not in net.roster():
                        left_roster = time.time() - killed
                except Exception:  # a busy window: asked again
                    pass
            found = removals(self.records(), dead, survivors, killed, now)
            done = len(found) == len(survivors) and left_roster is not None
            if (done and now >= killed + 62) or now > killed + self.kill_limit:
                break
            atspi_window.pump(2.0)
        records = self.records()
        to_dead = sum(1 for r in records if killed <= r.t < killed + 60 and r.dst == dead)
        delays = sorted(t - killed for t, _ in found.values())
        ways = collections.Counter(how for _, how in found.values())
        self.figures.update(removed_by=len(found), survivors=len(survivors),
                            removal_max=delays[-1] if delays else None,
                            roster_lost=left_roster, to_dead_first_minute=to_dead)
        if delays:
            text = (f"{delays[0]:.1f} / {statistics.median(delays):.1f} / {delays[-1]:.1f} s "
                    "after SIGKILL (min / median / max)")
        else:
            text = "not seen"
        how = ", ".join(f"{n} by {way}" for way, n in sorted(ways.items()))
        text += (f"; removed by {len(found)} of {len(survivors)} survivors"
                 + (f" ({how})" if how else ""))
        if len(found) < len(survivors):
            text += f"; not seen to remove it: {sorted(survivors - set(found))[:10]}"
        self.rows.append(("a copy killed with SIGKILL", text))
        self.rows.append(("… copy 1's roster lost it",
                          f"{left_roster:.1f} s after SIGKILL" if left_roster is not None
                          else f"✗ still there {time.time() - killed:.0f} s after SIGKILL"))
        self.rows.append(("… datagrams to the dead address in the minute after the kill",
                          f"{to_dead:,}"))
        self.progress(f"kill: {text}; roster {left_roster}; {to_dead} to the dead address")

    def pause(self) -> None:
        net = self.net
        host = self.paused_host
        stopped = time.time()
        net.signal(host, signal.SIGSTOP)
        self.progress(f"copy {host} paused for 20 s")
        atspi_window.pump(20.0)
        net.signal(host, signal.SIGCONT)
        continued = time.time()
        atspi_window.pump(30.0)
        try:
            held = entry(host) in net.roster()
        except Exception:  # noqa: BLE001 (a busy window: once more, later)
            atspi_window.pump(2.0)
            held = entry(host) in net.roster()
        records = self.records()
        notices = gone_notices(records, stopped)
        named = sorted({sender for _, sender, _, target in notices if target == host})
        dropped = sorted({target for _, sender, _, target in notices if sender == host})
        kinds = kinds_sent(records, host, continued)
        answers = sum(1 for r in records if r.t >= continued and r.src == host
                      and (PONG.match(r.data) or r.data.startswith(PREFIX + b"MYNAMEIS3:")))
        self.figures.update(pause_named_by=named, pause_dropped=dropped,
                            pause_roster_held=held, pause_answers=answers)
        text = ("dropped by nobody" if not named else
                f"✗ gone notices naming it from {len(named)} copies {named[:10]}")
        text += ("; it dropped nobody" if not dropped
                 else f"; ✗ it sent gone notices for {dropped[:10]}")
        text += (f"; {answers} answers from it in the 30 s after it continued"
                 f" (sent: {dict(kinds.most_common(6))})")
        text += ("; ✓ still in copy 1's roster 30 s after" if held
                 else "; ✗ gone from copy 1's roster 30 s after")
        self.rows.append(("a copy paused 20 s (SIGSTOP, SIGCONT)", text))
        self.progress(f"pause: {text}")

    def table(self, program: str) -> str:
        if self.net.dropped is not None:
            self.rows.append(("frames the capture missed", f"{self.net.dropped}"))
        head = f"| figure | {self.count} copies ({os.path.basename(program)}) |\n|---|---|\n"
        return head + "".join(f"| {what} | {value} |\n" for what, value in self.rows)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "capture":
        capture(sys.argv[2])
    else:
        print("usage: scale_network.py capture FILE (run by ScaleNetwork)")
        sys.exit(2)
