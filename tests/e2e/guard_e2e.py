#!/usr/bin/env python3
"""What one hostile host on the LAN can do to a copy, measured on real copies.

Every probe starts a fresh copy of the built program in a network namespace
of its own; the other hosts (an attacker, a link-check pinger, a third
address, an old-protocol peer) are scripted (guard_peers.py) in namespaces
of their own on one bridge. The attacker's namespace also sends from forged
source addresses (a raw socket with IP_HDRINCL); the copies route those
ranges to the attacker, which drops what comes back.

Probes, each printing its figure:
a. 100, then 50,000 registrations from the attacker's own address whose name
   holds the entry separator and a third address: nothing is ever sent to
   the third address (its namespace records every datagram: the roster
   watch's, a line typed into the first copy's window afterwards, the
   copy's end), a link check sent every 0.1 s is answered within 0.5 s
   throughout, and the copy's resident memory grows by at most 15 MB.
b. 4,096 forged senders register, then send 204,800 relayed entries between
   them: the directory (as saved at SIGTERM) gains at most the total budget
   of 2,000 a minute, and the status line says how many were refused.
c. 600,000 stray datagrams, each from a source of its own: the copy's
   resident memory grows by at most 10 MB (measured after 200,000 of the
   same datagrams from one source, which any traffic would cost).
d. A sender and three newer recipients: one recipient confirms, from the
   address of another (whose copy never gets the line), the line it got and
   the ids around it; the other still gets its resends.
e. The recipient of that line gets tagged lines from 1,024 other senders,
   then the line again, byte for byte, from its sender's address: it is shown
   once.
f. A peer that speaks only the old protocol registers: it gets exactly one
   datagram on port 333, the answer with the copy's name.

A failed goal is reported and the run goes on. Usage: guard_e2e.py <path to
Vesmar> [probe letters, default all]. Exits 1 on any failed goal, 77
(skipped) where network namespaces, Xvfb, xdotool or AT-SPI are missing.
"""
import collections
import json
import math
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_window  # noqa: E402

atspi_window.require_system_python()

import harness  # noqa: E402
from harness import Failure, JsonLines, cp1251  # noqa: E402
from old_peer import PREFIX  # noqa: E402

SUBNET = "10.225.0."
ATTACKER, PINGER, THIRD = 3, 4, 9
SEPARATOR_SMALL, SEPARATOR_LARGE = 1, 2
RELAY_COPY, STRAY_COPY = 11, 12
SENDER, QUIET, FORGER, REPLAY_COPY = 21, 22, 23, 24
OLD_COPY, OLD_PEER = 31, 32
HOSTS = [ATTACKER, PINGER, THIRD, SEPARATOR_SMALL, SEPARATOR_LARGE, RELAY_COPY, STRAY_COPY,
         SENDER, QUIET, FORGER, REPLAY_COPY, OLD_COPY, OLD_PEER]
NAMES = {SEPARATOR_SMALL: "ЦЕЛЬ", SEPARATOR_LARGE: "ЦЕЛЬ", RELAY_COPY: "СПИСОК",
         STRAY_COPY: "ШУМ", SENDER: "АННА", QUIET: "БОРИС", FORGER: "ВЕРА",
         REPLAY_COPY: "ГЛЕБ", OLD_COPY: "НОВЫЙ", OLD_PEER: "СТАРЫЙ"}
# Forged sources come from this range; every copy routes it to the attacker.
FORGED_RANGE = "10.64.0.0/10"
RELAY_SENDERS_BASE, STRAY_BASE, TAGGED_BASE = "10.70.0.0", "10.96.0.0", "10.80.0.0"

SEPARATOR_COUNTS = (100, 50_000)
SEPARATOR_RATE = 4_000          # registrations a second
SEPARATOR_WATCH = 42.0          # the roster watch looks every 10 s, probes after 25 s
SEPARATOR_LARGE_WATCH = 20.0    # at 50,000 members it waits far longer
PING_INTERVAL, PING_LIMIT = 0.1, 0.5
SEPARATOR_MEMORY_LIMIT = 15.0   # MB
RELAY_SENDERS, RELAY_ENTRIES = 4_096, 204_800
RELAY_RATE = 8_000
RELAY_BUDGET = 2_000            # relayed entries a minute over all senders
STRAYS, STRAY_RATE, STRAY_CHUNK = 600_000, 25_000, 5_000
STRAY_WARM_UP = 200_000
STRAY_MEMORY_LIMIT = 10.0       # MB
OTHER_SENDERS = 1_024
RESEND_WATCH = 6.0              # resends 1 s and 3 s after the first send
OLD_WATCH = 5.0
WAIT = harness.WAIT
HERE = harness.HERE
PEERS = os.path.join(HERE, "guard_peers.py")


def address(host: int) -> str:
    return SUBNET + str(host)


def entry(host: int) -> str:
    return f"{NAMES[host]} _|_ {address(host)}"


def readable(data: bytes) -> str:
    return data.decode("cp1251", "replace").replace("\0", "\\0")


def cpu_seconds(pid: int) -> float:
    """The processor time the process has used, user and system."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_mb(pid: int) -> float:
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    raise Failure(f"process {pid} has no VmRSS")


class Suite(harness.Run):
    def __init__(self, binary: str, workdir: str, probes: str):
        super().__init__(workdir)
        self.binary = binary
        self.probes = probes
        self.net = harness.TestNetwork("gp-", {h: [h] for h in HOSTS}, subnet=SUBNET)
        self.windows: dict[int, atspi_window.Window] = {}
        self.bus = None

    # -- helpers ------------------------------------------------------------

    def peer(self, host, *args, log: str, capture=True):
        return self.spawn(self.net.exec_in(host, sys.executable, PEERS, *args), log,
                          capture=capture)

    def watcher(self, host: int, name: str) -> JsonLines:
        """Everything that arrives at the host's address, from its device."""
        lines = JsonLines(self.peer(host, "listen", "eth0", address(host), log=f"{name}.log"),
                          name)
        lines.wait_for(f"{name} start", lambda d: d.get("ready"))
        return lines

    def run_peer(self, host, *args, timeout: float = 600) -> dict:
        """Runs one helper to its end; its last JSON line."""
        process = self.peer(host, *args, log=f"peer{host}.log")
        try:
            out, _ = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure(f"guard_peers.py {args[0]} in host {host} did not finish")
        lines = out.strip().splitlines()
        if not lines:
            raise Failure(f"guard_peers.py {args[0]} in host {host} printed nothing")
        return json.loads(lines[-1])

    def flood(self, plan: dict, name: str, timeout: float = 600) -> dict:
        path = os.path.join(self.workdir, f"{name}.json")
        with open(path, "w") as out:
            json.dump(plan, out)
        return self.run_peer(ATTACKER, "flood", path, timeout=timeout)

    def answering(self, host: int, timeout: float = WAIT) -> float:
        """Seconds until the copy answered a link check from the attacker's
        address; everything the attacker sent before has been handled."""
        answered = self.run_peer(ATTACKER, "ask", address(host), str(timeout),
                                 timeout=timeout + 30)["answered"]
        if answered is None:
            raise Failure(f"{NAMES[host]} ({address(host)}) answers no link check")
        return answered

    def start_copy(self, host: int, directory: list[str], window=False, leak_check=True):
        """A fresh program directory and copy; with window, on the display and
        read through AT-SPI."""
        folder = harness.write_program_directory(os.path.join(self.workdir, f"copy{host}"),
                                                 self.binary, NAMES[host], directory, quiet=True)
        env = harness.copy_environment(QT_QPA_PLATFORM="xcb" if window else "offscreen")
        # Freed blocks are not held back for use-after-free checks, so that
        # resident memory shows what the copy keeps, not what it has churned
        # through.
        asan = env["ASAN_OPTIONS"]
        if not leak_check:
            asan = re.sub(r"detect_leaks=\d", "", asan).strip(":") + ":detect_leaks=0"
        env["ASAN_OPTIONS"] = asan.strip(":") + ":quarantine_size_mb=0"
        if window:
            env = self.bus.env(env)
        self.start_program(host, folder, env)
        if window:
            self.windows[host] = atspi_window.Window.of_process(self.copies[host].pid)
        return self.copies[host]

    def stop_copy(self, host: int, probe: str) -> None:
        """Ends the copy with SIGTERM; a copy that does not end normally is a
        failed goal of the probe, with the end of what it wrote."""
        try:
            self.end_program(host, f"{NAMES[host]} (host {host})")
        except Failure as error:
            with open(os.path.join(self.workdir, f"copy{host}.log"), "rb") as log:
                said = log.read().decode("utf-8", "replace")[-1500:]
            self.check(False, f"{probe}: {NAMES[host]} (host {host}) ends normally on SIGTERM",
                       f"{error}: {said}")

    def saved_directory(self, host: int) -> list[bytes]:
        with open(os.path.join(self.folders[host], "ListCorr.dat"), "rb") as saved:
            return saved.read().split(b"\r\n")[:-1]

    def labels(self, host: int, start: str) -> list[str]:
        try:
            return [label.name for label in self.windows[host].find_all("label")
                    if label.name.startswith(start) and atspi_window.has_state(label, "showing")]
        except Exception:  # a busy window lets a call time out: asked again later
            return []

    def settled_labels(self, host: int, start: str, timeout: float = 20) -> list[str]:
        """The shown labels that begin with start, once they have stayed the
        same for two seconds (the status line is brought up to date a few
        times a second)."""
        seen, since = None, time.monotonic()
        deadline = since + timeout
        while time.monotonic() < deadline:
            now = self.labels(host, start)
            if now != seen:
                seen, since = now, time.monotonic()
            elif time.monotonic() - since >= 2:
                break
            atspi_window.pump(0.25)
        return seen or []

    def lost_datagrams(self, host: int) -> int:
        """What the kernel dropped at the copy's socket (a full receive buffer)."""
        result = subprocess.run(self.net.exec_in(host, "cat", "/proc/net/udp"),
                                capture_output=True, text=True, check=True)
        for line in result.stdout.splitlines()[1:]:
            fields = line.split()
            if fields[1].endswith(":014D"):   # port 333
                return int(fields[-1])
        return 0

    # -- the network --------------------------------------------------------

    def open(self) -> None:
        self.net.open()
        for host in HOSTS:
            if host in NAMES and host != OLD_PEER:
                # Answers to forged sources go to the attacker, which drops them.
                harness.run(*self.net.exec_in(host, "ip", "route", "add", FORGED_RANGE, "via",
                                           address(ATTACKER)))
                harness.run(*self.net.exec_in(host, "sysctl", "-qw",
                                           "net.ipv4.conf.all.rp_filter=0",
                                           "net.ipv4.conf.eth0.rp_filter=0"))
        if any(p in self.probes for p in "abde"):
            display = self.start_display()
            self.bus = atspi_window.AccessibilityBus(self.workdir, display)
            self.bus.start()

    # -- a. names that hold the entry separator ----------------------------

    def probe_separator(self, host: int, count: int, window: bool, watch: float) -> None:
        """With window, a line typed after the watch goes to every roster line."""
        third = self.watcher(THIRD, f"third{host}")
        self.start_copy(host, [], window=window)
        duration = count / SEPARATOR_RATE + watch
        pinger = JsonLines(self.peer(PINGER, "ping", address(host), str(PING_INTERVAL),
                                     str(duration), log=f"pinger{host}.log"), "pinger")
        pinger.wait_for("pinger start", lambda d: d.get("ready"))
        time.sleep(1.0)
        before = resident_mb(self.copies[host].pid)
        cpu_before = cpu_seconds(self.copies[host].pid)
        sent = self.flood({"kind": "separator", "count": count, "target": address(host),
                           "source": address(ATTACKER), "third": address(THIRD),
                           "rate": SEPARATOR_RATE}, f"separator{count}")
        self.figure(f"a/{count}: {sent['sent']} registrations naming {address(THIRD)} sent in "
                    f"{sent['seconds']} s")
        result = pinger.wait_for("pinger result", lambda d: "sent" in d,
                                 timeout=duration + WAIT)
        after = resident_mb(self.copies[host].pid)
        cpu = cpu_seconds(self.copies[host].pid) - cpu_before
        if window:
            self.send_line(host, "всем, кто в списке")
            time.sleep(1.0)
        lost = self.lost_datagrams(host)
        self.stop_copy(host, f"a/{count}")
        time.sleep(1.0)   # the exit notices on their way
        third.process.terminate()
        with third.arrived:
            reached = [d for d in third.lines if "hex" in d]
        kinds = collections.Counter(readable(bytes.fromhex(d["hex"])[:18]) for d in reached)
        self.figure(f"a/{count}: {len(reached)} datagrams reached {address(THIRD)} "
                    f"({dict(kinds.most_common(3))}); link checks: {result['sent']} sent, "
                    f"{result['answered']} answered, worst {result['worst']} s, "
                    f"{result['late']} over {PING_LIMIT} s or unanswered; memory "
                    f"{before:.1f} -> {after:.1f} MB (+{after - before:.1f}); "
                    f"{lost} dropped by the kernel; the copy used {cpu:.1f} s of processor "
                    f"time ({1000 * cpu / count:.2f} s per 1,000 names; load average "
                    f"{os.getloadavg()[0]:.1f})")
        self.check(not reached, f"a/{count}: nothing is sent to the address named in the names",
                   f"{len(reached)} datagrams")
        self.check(result["late"] == 0 and result["answered"] == result["sent"],
                   f"a/{count}: every link check is answered within {PING_LIMIT} s",
                   f"{result['late']} late or unanswered of {result['sent']}, worst "
                   f"{result['worst']} s")
        self.check(after - before <= SEPARATOR_MEMORY_LIMIT,
                   f"a/{count}: memory grows by at most {SEPARATOR_MEMORY_LIMIT:.0f} MB",
                   f"+{after - before:.1f} MB")

    # -- b. relayed entries from forged senders ----------------------------

    def probe_relay(self) -> None:
        host = RELAY_COPY
        own = [f"ДРУГ _|_ {address(PINGER)}"]
        self.start_copy(host, own, window=True)
        self.answering(host)
        registered = self.flood({"kind": "register", "count": RELAY_SENDERS, "base":
                                 RELAY_SENDERS_BASE, "target": address(host),
                                 "rate": RELAY_RATE}, "relay-register")
        self.answering(host)
        started = time.monotonic()
        sent = self.flood({"kind": "relay", "senders": RELAY_SENDERS, "count": RELAY_ENTRIES,
                           "base": RELAY_SENDERS_BASE, "entry_address": address(THIRD),
                           "target": address(host), "rate": RELAY_RATE}, "relay")
        settled = self.answering(host, timeout=180)
        refused = self.settled_labels(host, "Отклонено")
        lost = self.settled_labels(host, "Потеряно датаграмм")
        full = self.settled_labels(host, "Список участников полон", timeout=5)
        kernel = self.lost_datagrams(host)
        elapsed = time.monotonic() - started
        self.stop_copy(host, "b")
        saved = self.saved_directory(host)
        gain = len(saved) - len(own)
        refused_count = sum(int(n) for label in refused for n in re.findall(r": (\d+)", label))
        lost_count = sum(int(n) for label in lost for n in re.findall(r"(\d+)", label))
        self.figure(f"b: {registered['sent']} forged registrations, then {sent['sent']} relayed "
                    f"entries in {sent['seconds']} s; the copy caught up {settled:.1f} s later; "
                    f"directory gained {gain} over {elapsed:.0f} s; status line "
                    f"{refused or 'says nothing of refused entries'}, "
                    f"{full or 'nothing of a full roster'}; lost {lost or 0} "
                    f"({kernel} by the kernel)")
        # The budget's minute opens at the first entry taken, after the start
        # of the flood: each started minute of the run may take one budget.
        allowed = RELAY_BUDGET * max(1, math.ceil(elapsed / 60.0))
        self.check(saved[:len(own)] == [cp1251(line) for line in own] and gain <= allowed,
                   f"b: the directory gains at most {RELAY_BUDGET} relayed entries a minute "
                   f"({allowed} in {elapsed:.0f} s)", f"it gained {gain}")
        self.check(refused_count > 0,
                   "b: the status line says how many relayed entries were refused",
                   f"shown: {refused}, taken {gain}, lost {lost_count}")

    # -- c. stray datagrams from forged sources ----------------------------

    def probe_strays(self) -> None:
        host = STRAY_COPY
        self.start_copy(host, [])
        self.answering(host)
        # The same datagrams from one source first: the allocator's caches
        # (and, in a sanitizer build, its shadow and free lists) grow with
        # the traffic itself; what the many sources leave comes on top.
        time.sleep(1.0)
        started_at = resident_mb(self.copies[host].pid)
        self.flood({"kind": "stray", "count": STRAY_WARM_UP, "sources": 1, "base": STRAY_BASE,
                    "target": address(host), "rate": STRAY_RATE, "chunk": STRAY_CHUNK},
                   "strays-warm-up")
        self.answering(host)
        time.sleep(1.0)
        before = resident_mb(self.copies[host].pid)
        cpu_before = cpu_seconds(self.copies[host].pid)
        # In chunks: what is measured is what the copy keeps of the sources,
        # not the bounded queue of a copy that falls behind.
        sent = self.flood({"kind": "stray", "count": STRAYS, "base": STRAY_BASE,
                           "target": address(host), "rate": STRAY_RATE,
                           "chunk": STRAY_CHUNK}, "strays")
        settled = self.answering(host, timeout=180)
        time.sleep(2.0)
        after = resident_mb(self.copies[host].pid)
        cpu = cpu_seconds(self.copies[host].pid) - cpu_before
        kernel = self.lost_datagrams(host)
        self.stop_copy(host, "c")
        self.figure(f"c: {STRAY_WARM_UP} stray datagrams from one source: memory "
                    f"{started_at:.1f} -> {before:.1f} MB; then {sent['sent']} from as many "
                    f"sources in {sent['seconds']} s, the copy caught up {settled:.1f} s later; "
                    f"{kernel} dropped by the kernel; memory {before:.1f} -> {after:.1f} MB "
                    f"(+{after - before:.1f}); the copy used "
                    f"{cpu:.1f} s of processor time")
        self.check(after - before <= STRAY_MEMORY_LIMIT,
                   f"c: memory grows by at most {STRAY_MEMORY_LIMIT:.0f} MB after {STRAYS} "
                   "stray datagrams", f"+{after - before:.1f} MB")

    # -- d, e. receipts and the replay of a line ---------------------------

    def xdotool(self, *args: str) -> str:
        result = subprocess.run(["xdotool", *args], env=self.x_env, check=True,
                                capture_output=True, text=True, timeout=WAIT)
        return result.stdout.strip()

    def send_line(self, host: int, text: str) -> None:
        """Puts the text into the copy's message field and presses Return."""
        pid = str(self.copies[host].pid)
        window = self.xdotool("search", "--sync", "--onlyvisible", "--all", "--pid", pid,
                              "--name", "^Зовница$").splitlines()[0]
        self.xdotool("windowfocus", "--sync", window)
        focused = self.xdotool("getwindowfocus", "-f")
        if focused != window:
            raise Failure(f"{NAMES[host]}'s window did not get the keyboard focus")
        field = self.windows[host].find("text", "Сообщение")
        field.queryEditableText().setTextContents(text)
        self.xdotool("key", "Return")
        deadline = time.monotonic() + 10
        while field.queryText().getText(0, -1):
            if time.monotonic() > deadline:
                raise Failure(f"{text!r} was not sent within 10 s of Return")
            time.sleep(0.01)

    def probe_receipts_and_replay(self) -> None:
        recipients = (QUIET, FORGER, REPLAY_COPY)
        self.start_copy(SENDER, [entry(h) for h in recipients], window=True)
        for host in recipients:
            self.start_copy(host, [entry(SENDER)], window=host == REPLAY_COPY)
        everyone = {entry(h) for h in recipients}
        atspi_window.wait_until("the sender's roster of its three recipients",
                                lambda: set(self.windows[SENDER].roster_rows()) == everyone)
        atspi_window.pump(2.0)   # the hellos of the last answers
        quiet = self.watcher(QUIET, "quiet")
        replay_seen = self.watcher(REPLAY_COPY, "replay-copy")
        # The quiet recipient's copy never gets a line, so never confirms one.
        harness.run(*self.net.exec_in(QUIET, "nft", "add table inet gpquiet; add chain inet gpquiet"
                                   " in { type filter hook input priority 0; }; add rule inet "
                                   f"gpquiet in ip saddr {address(SENDER)} udp dport 333 "
                                   "drop"))
        forger = JsonLines(self.peer(FORGER, "forge-receipts", "eth0", address(FORGER),
                                     address(QUIET), log="forger.log"), "forger")
        forger.wait_for("forger start", lambda d: d.get("ready"))
        text = "строка для троих"
        line = cp1251(f"{NAMES[SENDER]}: {text}")
        self.send_line(SENDER, text)
        forged = None
        try:
            forged = forger.wait_for("forged receipt", lambda d: "forged" in d, timeout=5)
        except Failure:
            pass
        atspi_window.pump(RESEND_WATCH)
        with quiet.arrived:
            to_quiet = [d for d in quiet.lines if d.get("src") == address(SENDER)
                        and bytes.fromhex(d["hex"]).split(b"\0")[0] == line]
        tagged = [d for d in to_quiet if b"\0" in bytes.fromhex(d["hex"])]
        # Resends that left the sender after the forged receipt reached it.
        after_forgery = [d for d in to_quiet if forged and d["t"] > forged["t"] + 0.05]
        self.figure(f"d: the quiet recipient got the line {len(to_quiet)} times in "
                    f"{RESEND_WATCH:.0f} s ({len(tagged)} with an id); receipt forged: "
                    f"{forged or 'none (the forging recipient confirmed nothing)'}")
        self.check(forged is not None and bool(tagged),
                   "d: the line goes to the recipients as to newer copies, with an id, and the "
                   "forging recipient confirms its copy", f"{len(tagged)} tagged sends")
        self.check(forged is not None and len(after_forgery) >= 1 and len(tagged) >= 2,
                   "d: a receipt forged by one recipient in another's name leaves the "
                   "other's resends going", f"{len(to_quiet)} sends to it in all")
        forger.process.terminate()
        harness.run(*self.net.exec_in(QUIET, "nft", "delete", "table", "inet", "gpquiet"))

        # e. the same line again at its recipient, after 1,024 other senders.
        with replay_seen.arrived:
            copies = [d for d in replay_seen.lines if d.get("src") == address(SENDER)
                      and bytes.fromhex(d["hex"]).split(b"\0")[0] == line]
        if not copies:
            self.check(False, "e: the line reached its recipient", "no datagram with it")
            return
        original = copies[0]["hex"]
        log_line = f"{NAMES[SENDER]}: {text}"

        def shown() -> int:
            return atspi_window.wait_until(
                "the recipient's log", lambda: [self.windows[REPLAY_COPY].log_text()])[0] \
                .split("\n").count(log_line)

        first = shown()
        for kind in ("hello", "tagged"):
            for port in ((333, 334) if kind == "hello" else (333,)):
                self.flood({"kind": kind, "count": OTHER_SENDERS, "base": TAGGED_BASE,
                            "target": address(REPLAY_COPY), "rate": 5_000, "port": port},
                           f"others-{kind}-{port}")
        self.answering(REPLAY_COPY)
        self.flood({"kind": "replay", "hex": original, "source": address(SENDER),
                    "target": address(REPLAY_COPY), "rate": 1}, "replay")
        self.answering(REPLAY_COPY)
        atspi_window.pump(1.0)
        others = atspi_window.wait_until(
            "the recipient's log", lambda: [self.windows[REPLAY_COPY].log_text()])[0] \
            .count(": line ")
        again = shown()
        self.figure(f"e: the line shown {first} time(s) before, {again} after a replay behind "
                    f"{OTHER_SENDERS} other senders' tagged lines ({others} of them shown)")
        self.check(first == 1 and again == 1,
                   f"e: a line replayed after {OTHER_SENDERS} other senders is not shown twice",
                   f"shown {again} times")
        for host in (SENDER, *recipients):
            self.stop_copy(host, "d, e")

    # -- f. a peer of the old protocol registers ---------------------------

    def probe_old_peer(self) -> None:
        host = OLD_COPY
        self.start_copy(host, [])
        self.answering(host)
        seen = self.watcher(OLD_PEER, "old-peer-wire")
        peer = self.scripted(OLD_PEER, "udp_peer.py", name="old peer", log="old-peer.log")
        registration = PREFIX + b"MYNAMEIS2:" + cp1251(NAMES[OLD_PEER])
        peer.send({"to": address(host), "hex": registration.hex()})
        time.sleep(OLD_WATCH)
        with seen.arrived:
            arrived = [d for d in seen.lines if d.get("src") == address(host)]
        on_333 = [bytes.fromhex(d["hex"]) for d in arrived if d["dport"] == 333]
        elsewhere = collections.Counter(d["dport"] for d in arrived if d["dport"] != 333)
        answer = PREFIX + b"MYNAMEIS3:" + cp1251(NAMES[host])
        self.figure(f"f: the old-protocol peer got {len(on_333)} datagram(s) on port 333 "
                    f"({[readable(d) for d in on_333]}) and {sum(elsewhere.values())} on "
                    f"other ports ({dict(elsewhere)}) in {OLD_WATCH:.0f} s")
        self.check(on_333 == [answer], "f: a peer of the old protocol that registers gets "
                   "exactly one answer on port 333 and nothing else there",
                   f"{[readable(d) for d in on_333]}")
        self.stop_copy(host, "f")

    def close(self) -> None:
        super().close()
        if self.bus is not None:
            self.bus.close()


def main() -> int:
    def steps(suite: Suite) -> list:
        chosen = [("a", lambda: suite.probe_separator(SEPARATOR_SMALL, SEPARATOR_COUNTS[0],
                                                      True, SEPARATOR_WATCH)),
                  ("a", lambda: suite.probe_separator(SEPARATOR_LARGE, SEPARATOR_COUNTS[1],
                                                      False, SEPARATOR_LARGE_WATCH)),
                  ("b", suite.probe_relay), ("c", suite.probe_strays),
                  ("d", suite.probe_receipts_and_replay), ("f", suite.probe_old_peer)]
        return [("opening the network", suite.open)] + [
            (f"probe {letter}", timed(suite, letter, step)) for letter, step in chosen
            if letter in suite.probes or (letter == "d" and "e" in suite.probes)]

    return harness.main(
        __doc__, lambda args, workdir: Suite(os.path.abspath(args[0]), workdir,
                                             args[1] if len(args) == 2 else "abcdef"),
        steps, arguments=(1, 2), folder="vesmar-guard-", go_on=True,
        prerequisite=lambda: harness.missing_prerequisite(("ip", "Xvfb", "xdotool"))
        or atspi_window.missing() or harness.missing_nftables())


def timed(suite: Suite, letter: str, step):
    """The probe, its time printed; none without the network."""
    def run() -> None:
        if not suite.net.created:
            raise Failure("the test network is not there")
        begun = time.monotonic()
        try:
            step()
        finally:
            print(f"# probe {letter} took {time.monotonic() - begun:.0f} s", flush=True)
    return run


if __name__ == "__main__":
    sys.exit(main())
