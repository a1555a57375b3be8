#!/usr/bin/env python3
"""Receipts, the roster watch and the relay limit, between real copies on a lossy network.

Two copies of the built program, АННА (.1) and БОРИС (.2), each in a network
namespace of its own with its window on one Xvfb display, and a scripted peer
ТЕСТ (.4, old_peer.py) that behaves like an old copy of the program and
records everything it receives. A hub namespace bridges them and records what
it delivers. All three stand in each other's directory. The copies and this
test talk to a private D-Bus session bus with AT-SPI (atspi_window.py), which
is how the windows are read.

Once the copies know each other, nftables in the two copies' namespaces drop
20 % of the datagrams between them, at arrival, in each direction, on the
conference port 333 and the handshake port 334 (the path to and from ТЕСТ
stays whole: an old copy gets each line once, with no resend to make up for
a loss).

Checked:
1. АННА sends 500 chat lines to everyone, each put into the message field
   through AT-SPI's EditableText and sent with Return pressed on the window
   (xdotool); one text is sent twice. БОРИС's log holds every line exactly
   once and the repeated one twice; the order may differ, because a resent
   line arrives after later ones. On the wire every line to БОРИС carries its
   id behind a NUL and БОРИС confirms each copy it gets, with a receipt to
   АННА's port 334; the copies found each other there with a challenge
   echoed each way; АННА's status line names at most one unconfirmed line
   («Не доставлено: ...»).
2. ТЕСТ gets each of АННА's lines exactly once, byte for byte, with no NUL;
   everything else it got is, by the old dispatcher's keyword test, either a
   registration, an answer, a link-check answer or an exit notice, exact to
   the byte: no datagram of a new kind, not even one it would drop. Its one
   registration with each copy got exactly one answer from it. (The hellos
   the copies sent to its port 334 met a closed port.)
3. БОРИС killed with SIGKILL leaves АННА's roster within 2 minutes; started
   again, it is back in АННА's roster. A line АННА sends right after the
   kill is reported «Не доставлено: БОРИС» 63 s later (the old peer gets it
   once, like every other line).
4. While the roster waits, ТЕСТ sends 100,000 distinct directory entries to
   АННА as fast as it can; a link check then gets its answer within 5 s,
   АННА's directory has grown by at most 1000 entries, and the status line
   says how many were refused («Отклонено записей от 10.233.79.4: N»).
   After SIGTERM the saved directory files hold the same.
The figures (time taken, sends and resends, duplicates suppressed, removal
latency, link-check answer time, refused count) are printed. A failed check
is reported and the run goes on, so that one run shows every fault.

Usage: trust_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, nftables, Xvfb, xdotool or AT-SPI are not available.
"""
import collections
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_window  # noqa: E402

atspi_window.require_system_python()

import harness  # noqa: E402
from harness import Failure, cp1251  # noqa: E402
from old_peer import PREFIX, old_dispatch  # noqa: E402

SUBNET = "10.233.79."
ANNA, BORIS, OLD = 1, 2, 4
NAMES = {ANNA: "АННА", BORIS: "БОРИС", OLD: "ТЕСТ"}
LINES = 500
REPEATED_AT = (100, 400)       # the two sends of the one text sent twice
LOSS_PERCENT = 20
HANDSHAKE_PORT = 334
HELLO = re.compile(re.escape(PREFIX + b"VSHELLO:") + rb"([0-9A-F]{8})([0-9A-F]{8})?\Z")
ECHO = re.compile(re.escape(PREFIX + b"VSECHO:") + rb"([0-9A-F]{8})\Z")
ACK = re.compile(re.escape(PREFIX + b"VSACK:") + rb"([0-9A-F]{8})\Z")
TAIL = re.compile(rb"\0VSID:([0-9A-F]{8})\Z")
UNDELIVERED_AFTER = 63.0       # the last resend is 55 s after the first send
REMOVAL_LIMIT = 120.0
LINK_CHECK_LIMIT = 5.0
FLOOD = 100_000
RELAY_LIMIT = 1000
FLOOD_ENTRY_ADDRESS = SUBNET + "250"   # inside the test network, where nobody is
WAIT = harness.WAIT


def address(host: int) -> str:
    return SUBNET + str(host)


def entry(host: int) -> str:
    return f"{NAMES[host]} _|_ {address(host)}"


def chat_texts() -> list[str]:
    """500 texts, all different except the one sent at both REPEATED_AT places."""
    words = ["берёза", "ветер", "гроза", "дорога", "ёлка", "журавль", "заря", "иней", "ключ",
             "лес", "море", "ночь", "облако", "поле", "река", "снег", "туман", "утро"]
    texts = []
    for i in range(LINES):
        if i == REPEATED_AT[1]:
            texts.append(texts[REPEATED_AT[0]])
        elif i == REPEATED_AT[0]:
            texts.append("это сказано дважды, Ёж и Zebra 2х2")
        else:
            texts.append(f"строка {i:03d}: {words[i % len(words)]} {words[i * 7 % len(words)]}"
                         f" №{i * 37 % 1000}")
    return texts


def directory_bytes() -> bytes:
    return harness.directory_bytes(entry(host) for host in (ANNA, BORIS, OLD))


class Scenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.net = harness.TestNetwork("vt", {h: [h] for h in NAMES}, subnet=SUBNET)
        self.windows: dict[int, atspi_window.Window] = {}
        self.bus = None
        self.texts = chat_texts()
        self.lines = [NAMES[ANNA] + ": " + text for text in self.texts]
        self.unconfirmed_text = "эту строку БОРИС уже не подтвердит"
        self.directory_gain = None

    # -- helpers ------------------------------------------------------------

    def nft(self, host: int, *args: str) -> None:
        harness.run(*self.net.exec_in(host, "nft", *args))

    def peer_send(self, host: int, data: bytes) -> None:
        self.peer.send({"to": address(host), "hex": data.hex()})

    def start_copy(self, host: int) -> None:
        env = harness.copy_environment(self.bus.env(os.environ), QT_QPA_PLATFORM="xcb")
        self.start_program(host, self.folders[host], env)
        self.windows[host] = atspi_window.Window.of_process(self.copies[host].pid)

    def roster(self, host: int) -> set:
        return set(self.windows[host].roster_rows())

    def visible_labels(self, host: int, start: str, described=False) -> list:
        """The names of the shown labels that begin with start; with
        described, (name, description) pairs (the description is the tip)."""
        try:
            return [(label.name, label.description) if described else label.name
                    for label in self.windows[host].find_all("label")
                    if label.name.startswith(start) and atspi_window.has_state(label, "showing")]
        except Exception:  # a busy window lets a call time out: asked again later
            return []

    # -- the scenario -------------------------------------------------------

    def start(self) -> None:
        self.net.open()
        display = self.start_display()
        self.bus = atspi_window.AccessibilityBus(self.workdir, display)
        self.bus.start()
        self.wire = self.sniffer()
        self.peer = self.scripted(OLD, "old_peer.py", NAMES[OLD], name="old peer",
                                  log="peer.log")
        for host in (ANNA, BORIS):
            self.folders[host] = harness.write_program_directory(
                os.path.join(self.workdir, f"copy{host}"), self.binary, NAMES[host],
                [entry(h) for h in (ANNA, BORIS, OLD)], quiet=True)
            self.start_copy(host)

    def join(self) -> None:
        """Both copies register with the old peer, which registers with both
        in turn the way an old copy does at its start: no hello before it."""
        for host in (ANNA, BORIS):
            registration = (PREFIX + b"MYNAMEIS2:" + cp1251(NAMES[host])).hex()
            self.peer.wait_for(f"registration of {NAMES[host]}",
                               lambda d, h=host, r=registration: d.get("from") == address(h)
                               and d["hex"] == r)
            self.peer_send(host, PREFIX + b"MYNAMEIS2:" + cp1251(NAMES[OLD]))
        everyone = {entry(host) for host in NAMES}
        for host in (ANNA, BORIS):
            atspi_window.wait_until(f"{NAMES[host]}'s roster of all three",
                                    lambda h=host: self.roster(h) == everyone)
        self.check(True, "the copies and the old peer stand in each other's rosters")

    def loss(self, on: bool) -> None:
        """Drops LOSS_PERCENT % of the datagrams from the other copy at arrival."""
        for host, other in ((ANNA, BORIS), (BORIS, ANNA)):
            if not on:
                self.nft(host, "delete", "table", "inet", "vesmarloss")
                continue
            self.nft(host, "add", "table", "inet", "vesmarloss")
            self.nft(host, "add", "chain", "inet", "vesmarloss", "in",
                     "{ type filter hook input priority 0; }")
            self.nft(host, "add", "rule", "inet", "vesmarloss", "in", "ip", "saddr",
                     address(other), "udp", "dport", "{ 333, 334 }", "numgen", "random", "mod",
                     "100", "<", str(LOSS_PERCENT), "drop")

    def focus_window(self) -> None:
        pid = self.copies[ANNA].pid
        self.x_window = self.focus(self.xdotool("search", "--sync", "--onlyvisible", "--all",
                                                "--pid", str(pid), "--name",
                                                "^Зовница$").splitlines()[0], "АННА's window")
        field = self.windows[ANNA].find("text", "Сообщение")
        self.field_editable = field.queryEditableText()
        self.field_text = field.queryText()

    def send_line(self, text: str) -> None:
        """Puts the text into АННА's message field and presses Return."""
        self.field_editable.setTextContents(text)
        if self.field_text.getText(0, -1) != text:
            raise Failure(f"the message field holds {self.field_text.getText(0, -1)!r} "
                          f"instead of {text!r}")
        self.xdotool("key", "Return")
        # The command empties the field once it has sent the line.
        deadline = time.monotonic() + 10
        while self.field_text.getText(0, -1):
            if time.monotonic() > deadline:
                focused = self.xdotool("getwindowfocus", "-f")
                raise Failure(f"{text!r} was not sent within 10 s of Return (the focus "
                              f"is on {focused}, АННА's window is {self.x_window})")
            time.sleep(0.002)

    def send_lines(self) -> None:
        self.focus_window()
        self.first_sent = time.monotonic()
        for text in self.texts:
            self.send_line(text)
        self.last_sent = time.monotonic()
        self.figure(f"{LINES} lines sent from АННА's window in "
                    f"{self.last_sent - self.first_sent:.1f} s")

    def unconfirmed_in_all(self, naming: str = "") -> int:
        """How many line-recipient pairs АННА's undelivered notice counts since
        the start (its tip), while the notice names naming; 0 without one."""
        for label, tip in self.visible_labels(ANNA, "Не доставлено: " + naming, described=True):
            counted = re.search(r"с момента запуска: (\d+)", tip)
            if counted:
                return int(counted.group(1))
        return 0

    def log_lines(self, host: int) -> list[str]:
        text = self.windows[host].log_text()
        return text.split("\n")[:-1] if text else []

    def check_delivery(self) -> None:
        expected = collections.Counter(self.lines)
        complete_at = None
        undelivered: list[str] = []
        in_all = None   # how many line-recipient pairs went unconfirmed, from the tip
        deadline = self.last_sent + UNDELIVERED_AFTER + 3
        shown = []
        while time.monotonic() < deadline:
            if complete_at is None:
                try:
                    shown = self.log_lines(BORIS)
                except Exception:  # busy: asked again in a second
                    shown = []
                if collections.Counter(shown) == expected:
                    complete_at = time.monotonic()
            for label, tip in self.visible_labels(ANNA, "Не доставлено: ", described=True):
                if label not in undelivered:
                    undelivered.append(label)
                counted = re.search(r"с момента запуска: (\d+)", tip)
                if counted:
                    in_all = int(counted.group(1))
            atspi_window.pump(1.0)
        shown = atspi_window.wait_until("БОРИС's log", lambda: self.log_lines(BORIS) or [""])
        got = collections.Counter(shown)
        missing = expected - got
        extra = got - expected
        if complete_at is not None:
            self.figure(f"БОРИС's log held every line {complete_at - self.first_sent:.1f} s "
                        f"after the first was sent ({complete_at - self.last_sent:.1f} s "
                        "after the last)")
        in_order = shown == self.lines
        self.figure(f"БОРИС shows {len(shown)} lines, {len(missing)} missing, {len(extra)} "
                    f"extra; {'in' if in_order else 'not in'} the order sent")
        self.check(not missing and not extra,
                   f"БОРИС's log holds each of the {LINES} lines once, the repeated text twice",
                   f"missing {list(missing.elements())[:5]}..., extra "
                   f"{list(extra.elements())[:5]}")
        # Each notice names the recipients of one line; its tip counts them
        # all since the start.
        names = []
        for label in undelivered:
            names += label[len("Не доставлено: "):].split(", ")
        self.figure(f"АННА's undelivered notices: {undelivered or 'none shown'}; "
                    f"unconfirmed since the start: {in_all}")
        self.check(len(names) <= 1 and all(name == NAMES[BORIS] for name in names)
                   and (in_all or 0) <= 1,
                   "АННА's status line names at most one unconfirmed line",
                   f"{undelivered}, {in_all} in all")

    def check_wire(self) -> None:
        """Tails, ids and receipts between the copies, as the hub delivered them."""
        with self.wire.arrived:
            records = [line for line in self.wire.lines
                       if "hex" in line and line["dport"] in (333, HANDSHAKE_PORT)]
        self.check_handshake(records)
        sends: dict[str, list[bytes]] = collections.defaultdict(list)
        acks = collections.Counter()
        bad = []
        for record in records:
            data = bytes.fromhex(record["hex"])
            src, dst = record["src"], record["dst"]
            if src == address(ANNA) and dst == address(BORIS) and not data.startswith(PREFIX):
                tail = TAIL.search(data)
                if tail is None or data[:tail.start()].decode("cp1251") not in self.lines:
                    bad.append(data)
                    continue
                sends[tail.group(1).decode()].append(data[:tail.start()])
            elif src == address(BORIS) and dst == address(ANNA) and b"VSACK" in data:
                ack = ACK.match(data) if record["dport"] == HANDSHAKE_PORT else None
                if ack is None:
                    bad.append(data)
                    continue
                acks[ack.group(1).decode()] += 1
        visible = collections.Counter(texts[0] for texts in sends.values()
                                      if len(set(texts)) == 1)
        expected = collections.Counter(cp1251(line) for line in self.lines)
        self.check(not bad and visible == expected and len(sends) == LINES,
                   "every line to БОРИС is its chat text, a NUL and an id of its own, and "
                   "every receipt is the id of a line sent",
                   f"{len(bad)} malformed, e.g. {bad[:3]}; {len(sends)} ids")
        unknown = set(acks) - set(sends)
        self.check(bool(sends) and not unknown and len(acks) >= LINES - 1,
                   "БОРИС confirms the lines it got", f"{len(acks)} ids confirmed, "
                   f"{len(unknown)} never sent")
        total = sum(len(texts) for texts in sends.values())
        self.figure(f"to БОРИС: {total} chat datagrams for {len(sends)} ids "
                    f"({total - len(sends)} resends); {sum(acks.values())} receipts for "
                    f"{len(acks)} ids, so {sum(acks.values()) - len(acks)} duplicates were "
                    "received and suppressed")

    def check_handshake(self, records: list) -> None:
        """The copies proved themselves to each other on port 334 before the
        first line: each echoed a challenge that the other sent it; and
        nothing new went to port 333 but the lines with an id."""
        challenges = {ANNA: set(), BORIS: set()}   # sent by the host
        echoed = {ANNA: set(), BORIS: set()}       # echoed by the host
        misplaced = []
        for record in records:
            data = bytes.fromhex(record["hex"])
            src = next((h for h in (ANNA, BORIS) if address(h) == record["src"]), None)
            if src is None:
                continue
            hello, echo = HELLO.match(data), ECHO.match(data)
            if record["dport"] == 333:
                if hello or echo or b"VSACK" in data:
                    misplaced.append(data)
                continue
            if hello and hello.group(2):
                echoed[src].add(hello.group(1))
                challenges[src].add(hello.group(2))
            elif hello:
                challenges[src].add(hello.group(1))
            elif echo:
                echoed[src].add(echo.group(1))
        self.check(not misplaced and echoed[BORIS] & challenges[ANNA]
                   and echoed[ANNA] & challenges[BORIS],
                   "the copies echoed each other's challenges on port 334, and sent no "
                   "hello, echo or receipt to port 333",
                   f"{len(misplaced)} on port 333; echoed {echoed}, challenges {challenges}")

    def check_old_peer(self) -> None:
        """Everything the old peer got, through the old dispatcher."""
        chat = collections.Counter()
        faults = []
        answers = collections.Counter()   # answers to its registrations, by sender
        names = {address(host): cp1251(name) for host, name in NAMES.items()}
        expected = collections.Counter(self.lines + [NAMES[ANNA] + ": " + self.unconfirmed_text])
        for record in self.peer.records():
            data = bytes.fromhex(record["hex"])
            src = record["from"]
            if b"\0" in data:
                faults.append(("NUL", src, data))
                continue
            kind, detail = old_dispatch(data)
            if kind == "chat":
                if src != address(ANNA) or data.decode("cp1251") not in expected:
                    faults.append(("shown", src, data))
                chat[data.decode("cp1251")] += 1
            elif kind == "silent":
                faults.append(("keyword-less", src, data))
            else:
                keyword = detail[0][0]
                allowed = {b"MYNAMEIS2:", b"MYNAMEIS3:", b"IAMEXIT:"}
                if src == address(ANNA):
                    allowed.add(b"MYNAMEIS1:")  # the answers to the test's link checks
                if len(detail) != 1 or keyword not in allowed or src not in names or \
                        data != PREFIX + keyword + names[src]:
                    faults.append(("acted on", src, data))
                elif keyword == b"MYNAMEIS3:":
                    answers[src] += 1
        self.check(chat == expected,
                   f"the old peer got each of АННА's {LINES + 1} lines exactly once, byte for "
                   "byte",
                   f"missing {list((expected - chat).elements())[:3]}, extra "
                   f"{list((chat - expected).elements())[:3]}")
        self.check(not faults, "the old peer got nothing else it would show or act on "
                   "beyond registrations, answers and exit notices, and no NUL",
                   f"{len(faults)}: {faults[:5]}")
        # It registered once with each copy (the restarted БОРИС never got
        # a registration from it).
        self.check(answers == {address(ANNA): 1, address(BORIS): 1},
                   "each registration of the old peer got exactly one answer, and nothing "
                   "else came with it", f"{dict(answers)}")

    def check_flood(self) -> None:
        rows_before = self.windows[ANNA].find("list", "Полный список").childCount
        since = self.peer.mark()
        command = {"flood": FLOOD, "to": address(ANNA), "name": NAMES[OLD],
                   "address": FLOOD_ENTRY_ADDRESS}
        self.peer.send(command)
        flooded = self.peer.wait_for("end of the flood", lambda d: "flooded" in d,
                                     since=since)
        self.figure(f"{FLOOD} directory entries sent to АННА in {flooded['seconds']} s")
        since = self.peer.mark()
        asked = time.monotonic()
        self.peer_send(ANNA, PREFIX + b"AUTODETECT1")
        answer = (PREFIX + b"MYNAMEIS1:" + cp1251(NAMES[ANNA])).hex()
        try:
            reply = self.peer.wait_for(
                "link-check answer", lambda d: d.get("from") == address(ANNA)
                and d.get("hex") == answer, timeout=30, since=since)
            took = reply["t"] - asked
        except Failure:
            took = None
        self.figure("link check after the flood answered "
                    + (f"in {took:.2f} s" if took is not None else "not within 30 s"))
        self.check(took is not None and took <= LINK_CHECK_LIMIT,
                   f"a link check after the flood is answered within {LINK_CHECK_LIMIT:.0f} s")
        # The answer came after everything the peer sent before it was handled.
        directory = self.windows[ANNA].find("list", "Полный список")
        self.directory_gain = directory.childCount - rows_before
        # The notice is brought up to date a few times a second: it is read
        # until it stays the same for two seconds.
        refused, lost = None, 0
        if took is not None:
            refused = self.settled_count(f"Отклонено записей от {address(OLD)}: ")
            lost = self.settled_count("Потеряно датаграмм: ") or 0
        self.figure(f"АННА's directory gained {self.directory_gain} entries; refused "
                    f"{refused}; datagrams lost on arrival {lost}")
        self.check(0 < self.directory_gain <= RELAY_LIMIT,
                   f"АННА's directory gains at most {RELAY_LIMIT} of the flood's entries",
                   f"it gained {self.directory_gain}")
        # Every entry of the flood is taken, refused or counted as lost.
        self.check(refused is not None and refused + self.directory_gain + lost == FLOOD,
                   "АННА's status line says how many entries from the old peer were refused",
                   f"refused {refused}, taken {self.directory_gain}, lost {lost} of {FLOOD}")

    def settled_count(self, start: str):
        """The number at the end of АННА's shown label that begins with start,
        once it has stayed the same for two seconds (within 20 s); None
        while no such label is shown."""
        seen, since = None, time.monotonic()
        deadline = since + 20
        while time.monotonic() < deadline:
            labels = self.visible_labels(ANNA, start)
            now = int(labels[0].rsplit(" ", 1)[1]) if labels else None
            if now != seen:
                seen, since = now, time.monotonic()
            elif time.monotonic() - since >= 2:
                break
            atspi_window.pump(0.25)
        return seen

    def check_roster_watch(self) -> None:
        killed = time.monotonic()
        self.copies[BORIS].send_signal(signal.SIGKILL)
        self.copies[BORIS].wait(timeout=WAIT)
        # A line that БОРИС, still in the roster, can no longer confirm.
        reported_before = self.unconfirmed_in_all()
        self.send_line(self.unconfirmed_text)
        unconfirmed_sent = time.monotonic()
        self.check_flood()
        left = None
        notice = None
        while time.monotonic() < killed + REMOVAL_LIMIT and (
                left is None or (notice is None and
                                 time.monotonic() < unconfirmed_sent + UNDELIVERED_AFTER + 5)):
            try:
                if left is None and entry(BORIS) not in self.roster(ANNA):
                    left = time.monotonic() - killed
            except Exception:  # the window is busy: asked again
                pass
            if notice is None and self.unconfirmed_in_all(NAMES[BORIS]) > reported_before:
                notice = time.monotonic() - unconfirmed_sent
            atspi_window.pump(0.5)
        self.figure("the line sent after SIGKILL reported undelivered "
                    + (f"{notice:.1f} s after it was sent" if notice else "never"))
        self.check(notice is not None and notice >= UNDELIVERED_AFTER - 1,
                   "a line the killed copy never confirmed is reported «Не доставлено: БОРИС» "
                   f"after {UNDELIVERED_AFTER:.0f} s")
        self.figure("БОРИС left АННА's roster "
                    + (f"{left:.1f} s after SIGKILL" if left else
                       f"not within {REMOVAL_LIMIT:.0f} s"))
        self.check(left is not None,
                   f"a copy killed with SIGKILL leaves the roster within {REMOVAL_LIMIT:.0f} s")
        restarted = time.monotonic()
        self.start_copy(BORIS)
        try:
            atspi_window.wait_until("БОРИС back in АННА's roster",
                                    lambda: entry(BORIS) in self.roster(ANNA))
            back = time.monotonic() - restarted
        except atspi_window.AccessibilityError:
            back = None
        self.check(back is not None, "the copy started again rejoins the roster")
        if back is not None:
            self.figure(f"БОРИС back in АННА's roster {back:.1f} s after its start")

    def finish(self) -> None:
        for host in (ANNA, BORIS):
            process = self.copies[host]
            process.terminate()
            try:
                code = process.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                raise Failure(f"{NAMES[host]} did not end within {WAIT:.0f} s of SIGTERM")
            with open(os.path.join(self.workdir, f"copy{host}.log"), "rb") as log:
                said = [line for line in log.read().decode("utf-8", "replace").splitlines()
                        if "ALSA" not in line][-1:]
            self.check(code == 0, f"{NAMES[host]} ends normally on SIGTERM",
                       f"exit code {code}, {said}")
        with open(os.path.join(self.folders[ANNA], "ListCorr.dat"), "rb") as saved:
            lines = saved.read().split(b"\r\n")[:-1]
        original = directory_bytes().split(b"\r\n")[:-1]
        self.check(lines[:3] == original and len(lines) - 3 == self.directory_gain,
                   "АННА's saved directory holds its own entries and the ones it took",
                   f"{len(lines)} lines, first {lines[:3]}")
        with open(os.path.join(self.folders[BORIS], "ListCorr.dat"), "rb") as saved:
            self.check(saved.read() == directory_bytes(), "БОРИС's saved directory is unchanged")

    def close(self) -> None:
        super().close()
        if self.bus is not None:
            self.bus.close()


def end_sniffer(scenario: Scenario) -> None:
    # The flood would swamp the recording bridge: it has seen what it must.
    scenario.wire.process.terminate()


def main() -> int:
    return harness.main(
        __doc__, lambda args, workdir: Scenario(os.path.abspath(args[0]), workdir),
        lambda s: [s.start, s.join, lambda: s.loss(True), s.send_lines, s.check_delivery,
                   lambda: s.loss(False), s.check_wire, lambda: end_sniffer(s),
                   s.check_roster_watch, s.finish,
                   # The exit notices on their way to the old peer.
                   lambda: atspi_window.pump(1.0), s.check_old_peer],
        prerequisite=lambda: harness.missing_prerequisite(("ip", "Xvfb", "xdotool"))
        or atspi_window.missing() or harness.missing_nftables(), folder="vesmar-trust-")


if __name__ == "__main__":
    sys.exit(main())
