#!/usr/bin/env python3
"""Bursts and an end by signal, on real copies of the built program.

Each copy runs in a network namespace of its own (the offscreen platform, no
display needed); a scripted peer runs in another.

Checked:
- a burst of 5,000 registrations from distinct names, sent back to back, is
  answered 5,000 times: nothing is lost in the system's receive buffer while
  the copy works;
- SIGTERM ends a copy within 5 s even when its directory file was not read
  whole (its "not saved" notice would wait for a person) and holds names that
  cannot be looked up: the exit notices reach the peer, and the problems are
  written to standard error.

Usage: robustness_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces are not available.
"""
import json
import os
import signal
import subprocess
import sys
import time

import harness
from harness import HERE, PREFIX, Failure

BURST = 5000
BURST_TIMEOUT = 300.0
SIGNAL_DEADLINE = 5.0
BURST_HOST = 1
SIGNAL_HOST = 2
BURST_PEER_HOST = 3
PEER_HOST = 4
SUBNET = "10.233.77."


def address(host: int) -> str:
    return SUBNET + str(host)


class Scenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.net = harness.TestNetwork("vz", {host: [host] for host in [1, 2, 3, PEER_HOST]},
                                       SUBNET)

    def log_path(self, name: str) -> str:
        return os.path.join(self.workdir, name)

    def start_copy(self, host: int, name: str, directory: bytes) -> subprocess.Popen:
        folder = harness.write_program_directory(os.path.join(self.workdir, f"copy{host}"),
                                                 self.binary, name)
        with open(os.path.join(folder, "ListCorr.dat"), "wb") as listing:
            listing.write(directory)
        return self.start_program(host, folder,
                                  harness.copy_environment(QT_QPA_PLATFORM="offscreen"))

    def check_burst(self) -> None:
        self.start_copy(BURST_HOST, "ПРИЁМ", b"")
        peer = self.spawn(self.net.exec_in(BURST_PEER_HOST, sys.executable,
                                           os.path.join(HERE, "burst_peer.py"),
                                           address(BURST_HOST), str(BURST), str(BURST_TIMEOUT)),
                          "burst_peer.log", capture=True)
        try:
            out, _ = peer.communicate(timeout=BURST_TIMEOUT + 30)
        except subprocess.TimeoutExpired:
            raise Failure("the burst peer did not finish")
        lines = out.strip().splitlines()
        if not lines:
            raise Failure("the burst peer printed nothing")
        result = json.loads(lines[-1])
        if result.get("answered") != BURST:
            raise Failure(f"burst: {result}")
        self.ok(f"a burst of {BURST} registrations is answered {BURST} times "
                f"({result['seconds']} s)")

    def check_signal_end(self) -> None:
        peer = self.scripted(PEER_HOST, "udp_peer.py", name="peer")
        # Unresolvable names before and after the peer's line, and a NUL that
        # keeps the file from being read whole.
        lines = ["ПЛОХОЙ _|_ nosuch.invalid", f"ТЕСТ _|_ {address(PEER_HOST)}",
                 "ДРУГОЙ _|_ other.invalid"]
        directory = harness.directory_bytes(lines) + b"\0tail\r\n"
        copy = self.start_copy(SIGNAL_HOST, "КОНЕЦ", directory)
        registration = (PREFIX + "MYNAMEIS2:КОНЕЦ").encode("cp1251").hex()
        peer.wait_for("registration", lambda d: d.get("hex") == registration, timeout=60)
        # The summary of the failed registrations is shown in a box now;
        # nobody answers it.
        time.sleep(1.0)
        since = peer.mark()
        sent = time.monotonic()
        copy.send_signal(signal.SIGTERM)
        try:
            code = copy.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the copy did not end within 30 s of SIGTERM")
        took = time.monotonic() - sent
        if took > SIGNAL_DEADLINE:
            raise Failure(f"the copy took {took:.1f} s to end after SIGTERM")
        if code != 0:
            raise Failure(f"the copy ended with exit code {code} after SIGTERM")
        exit_notice = (PREFIX + "IAMEXIT:КОНЕЦ").encode("cp1251").hex()
        peer.wait_for("exit notice", lambda d: d.get("hex") == exit_notice, timeout=5,
                      since=since)
        with open(self.log_path(f"copy{SIGNAL_HOST}.log"), "rb") as log:
            errors = log.read().decode("utf-8", errors="replace")
        for expected in ("Список корреспондентов не сохранён", "nosuch.invalid",
                         "other.invalid"):
            if expected not in errors:
                raise Failure(f"standard error does not say {expected!r}:\n{errors}")
        self.ok(f"SIGTERM ends the copy in {took:.2f} s with the exit notice sent and the "
                "problems on standard error")


def main() -> int:
    return harness.main(
        __doc__, lambda args, workdir: Scenario(os.path.abspath(args[0]), workdir),
        lambda s: [s.net.open, s.check_signal_end, s.check_burst],
        prerequisite=lambda: harness.missing_prerequisite(("ip",)), folder="vesmar-robust-")


if __name__ == "__main__":
    sys.exit(main())
