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
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from conference_e2e import (HERE, PEER_HOST, PREFIX, SKIP, Failure, JsonLines, TestNetwork,
                            address, cp1251, end_processes, missing_prerequisite,
                            print_logs)

BURST = 5000
BURST_TIMEOUT = 300.0
SIGNAL_DEADLINE = 5.0
BURST_HOST = 1
SIGNAL_HOST = 2
BURST_PEER_HOST = 3


class Scenario:
    def __init__(self, binary: str, workdir: str):
        self.binary = binary
        self.workdir = workdir
        self.net = TestNetwork()
        self.children: list[subprocess.Popen] = []
        self.checks = 0

    def ok(self, what: str) -> None:
        self.checks += 1
        print(f"ok {self.checks} - {what}", flush=True)

    def log_path(self, name: str) -> str:
        return os.path.join(self.workdir, name)

    def spawn(self, command: list[str], log_name: str, capture=False, env=None):
        log = open(self.log_path(log_name), "wb")
        process = subprocess.Popen(
            command, env=env, stdin=subprocess.PIPE if capture else subprocess.DEVNULL,
            stdout=subprocess.PIPE if capture else log, stderr=log, text=capture)
        self.children.append(process)
        return process

    def start_copy(self, host: int, name: str, directory: bytes) -> subprocess.Popen:
        folder = os.path.join(self.workdir, f"copy{host}")
        os.makedirs(folder)
        shutil.copy2(self.binary, os.path.join(folder, "Vesmar"))
        with open(os.path.join(folder, "Vesmar.ini"), "wb") as ini:
            ini.write(cp1251(f"[ANY]\r\nMyName={name}\r\n"))
        with open(os.path.join(folder, "ListCorr.dat"), "wb") as listing:
            listing.write(directory)
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "detect_leaks=0"),
                   QT_QPA_PLATFORM="offscreen")
        return self.spawn(self.net.exec_in(host, os.path.join(folder, "Vesmar")),
                          f"copy{host}.log", env=env)

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
        python = sys.executable
        peer = JsonLines(self.spawn(self.net.exec_in(PEER_HOST, python,
                                                     os.path.join(HERE, "udp_peer.py")),
                                    "peer.log", capture=True), "peer")
        peer.wait_for("peer start", lambda d: d.get("ready"))
        # Unresolvable names before and after the peer's line, and a NUL that
        # keeps the file from being read whole.
        lines = ["ПЛОХОЙ _|_ nosuch.invalid", f"ТЕСТ _|_ {address(PEER_HOST)}",
                 "ДРУГОЙ _|_ other.invalid"]
        directory = b"".join(cp1251(line) + b"\r\n" for line in lines) + b"\0tail\r\n"
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

    def close(self) -> None:
        end_processes(self.children)
        self.net.close()


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    why = missing_prerequisite(tools=("ip",))
    if why:
        print(f"SKIP: {why}")
        return SKIP
    workdir = tempfile.mkdtemp(prefix="vesmar-robust-")
    scenario = Scenario(os.path.abspath(sys.argv[1]), workdir)
    try:
        scenario.net.open()
        scenario.check_signal_end()
        scenario.check_burst()
    except (Failure, subprocess.CalledProcessError, ValueError) as error:
        print(f"FAIL: {error}")
        print_logs(workdir)
        return 1
    finally:
        scenario.close()
    shutil.rmtree(workdir, ignore_errors=True)
    print(f"{scenario.checks} passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
