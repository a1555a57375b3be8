#!/usr/bin/env python3
"""The network search of a real copy, against a /24 of test namespaces.

One namespace holds 250 addresses of 10.233.88.0/24 and a scripted peer that
answers the name request from each of them; two more namespaces hold real
copies of the program (.251 БОРИС, .252 ВЕРА); a fourth holds the copy that
searches (.253 АННА), with its window on an Xvfb display. A hub namespace
bridges them and records every datagram delivered. АННА's directory holds
БОРИС already.

The search is driven through the window like a person would: Ctrl+F opens
the dialog, which proposes the namespace's own /24, and Ctrl+Enter starts it.
Checked: every other address of the /24 that someone holds is asked once per
search (the request to .254, where nobody is, ends in address resolution); all 252
answer, inside the time the copy waits for late answers; a second search
asks again; after SIGTERM the saved directory holds each of the 252 exactly
once. Nothing is sent outside the namespaces this test makes.

Usage: sweep_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, Xvfb or xdotool are not available.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import PREFIX, Failure, cp1251  # noqa: E402

SUBNET = "10.233.88."
SCRIPTED = range(1, 251)
COPIES = {251: "БОРИС", 252: "ВЕРА", 253: "АННА"}
SEEKER = 253
ABSENT = 254            # inside the /24, nobody there
LATE_ANSWER_WAIT = 2.0  # how long the program waits after its last request
WAIT = harness.WAIT
TOTAL_LIMIT = 240.0     # the whole test, set-up included
REQUEST = PREFIX + "AUTODETECT0"


def address(host: int) -> str:
    return SUBNET + str(host)


def answer_name(host: int) -> str:
    return COPIES.get(host) or f"УЗЕЛ{host:03d}"


class SweepScenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        # One namespace holds every scripted peer's address; one per copy.
        self.net = harness.TestNetwork("vs", {"peers": list(SCRIPTED),
                                              **{h: [h] for h in COPIES}}, SUBNET)

    def start(self) -> None:
        self.net.open()
        display = self.start_display()
        self.wire = self.sniffer(stamped=True)
        self.peer = self.scripted("peers", "sweep_answerer.py", "УЗЕЛ",
                                  *(address(h) for h in SCRIPTED), name="answerer")
        for host in COPIES:
            directory = [f"БОРИС _|_ {address(251)}"] if host == SEEKER else None
            folder = harness.write_program_directory(os.path.join(self.workdir, f"copy{host}"),
                                                     self.binary, COPIES[host], directory)
            env = harness.copy_environment(
                DISPLAY=display, QT_QPA_PLATFORM="xcb" if host == SEEKER else "offscreen")
            self.start_program(host, folder, env)

    def start_search(self) -> None:
        """Ctrl+F in the main window, then Ctrl+Enter in the dialog. While the
        previous search still waits for late answers the command is disabled,
        so the key is pressed again until the dialog opens."""
        deadline = time.monotonic() + WAIT
        while True:
            self.focus_titled("Зовница")
            self.xdotool("key", "ctrl+f")
            try:
                self.focus_titled("Найти в сети", 3)
                break
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired, Failure):
                if time.monotonic() > deadline:
                    raise Failure("the search dialog did not open")
        self.xdotool("key", "ctrl+Return")

    def requests_and_answers(self, since: int):
        """Requests from the seeker and answers to it seen on the wire since mark."""
        requests, answers = {}, {}
        with self.wire.arrived:
            lines = self.wire.lines[since:]
        for line in lines:
            if "hex" not in line:
                continue
            text = bytes.fromhex(line["hex"]).decode("cp1251")
            if line["src"] == address(SEEKER) and text == REQUEST and line["dport"] == 333:
                requests.setdefault(line["dst"], []).append(line)
            elif line["dst"] == address(SEEKER) and text.startswith(PREFIX + "MYNAMEIS0:"):
                answers.setdefault(line["src"], []).append((text, line["t"]))
        return requests, answers

    def check_search(self, round_number: int) -> None:
        since = self.wire.mark()
        self.start_search()
        # The request to the absent address never reaches the wire: address
        # resolution finds nobody there.
        expected = {address(h) for h in range(1, 255) if h not in (SEEKER, ABSENT)}
        answering = {address(h) for h in [*SCRIPTED, 251, 252]}
        deadline = time.monotonic() + WAIT
        while True:
            requests, answers = self.requests_and_answers(since)
            if set(requests) == expected and set(answers) == answering:
                break
            if time.monotonic() > deadline:
                raise Failure(f"search {round_number}: {len(requests)} of {len(expected)} "
                              f"addresses asked, {len(answers)} of {len(answering)} answered")
            time.sleep(0.2)
        time.sleep(0.5)  # anything sent twice would show up by now
        requests, answers = self.requests_and_answers(since)
        twice = [a for a, seen in requests.items() if len(seen) != 1]
        if twice or set(requests) != expected:
            raise Failure(f"search {round_number}: addresses not asked exactly once: {twice}")
        for source, seen in answers.items():
            host = int(source.rsplit(".", 1)[1])
            if seen[0][0] != PREFIX + "MYNAMEIS0:" + answer_name(host):
                raise Failure(f"search {round_number}: {source} answered {seen[0][0]!r}")
        first_request = min(line["t"] for seen in requests.values() for line in seen)
        last_request = max(line["t"] for seen in requests.values() for line in seen)
        last_answer = max(t for seen in answers.values() for _, t in seen)
        self.figure(
            f"search {round_number}: {len(requests)} asked in {last_request - first_request:.3f} s"
            f", last answer {last_answer - last_request:.3f} s after the last request")
        if last_answer - last_request >= LATE_ANSWER_WAIT:
            raise Failure(f"search {round_number}: answers came after the wait for late answers")
        self.ok(f"search {round_number}: {len(expected)} addresses asked once each, "
                f"all {len(answering)} answered in time")
        self.search_ended_at = last_request + LATE_ANSWER_WAIT

    def check_directory(self) -> None:
        # Everything the seeker received has been handled once it answers a
        # link check sent after the last answer.
        since = self.peer.mark()
        self.peer_command(1, SEEKER, PREFIX + "AUTODETECT1")
        expected_answer = cp1251(PREFIX + "MYNAMEIS1:" + COPIES[SEEKER]).hex()
        self.peer.wait_for("link-check answer", lambda d: d.get("hex") == expected_answer,
                           since=since)
        self.end_program(SEEKER)
        with open(os.path.join(self.folders[SEEKER], "ListCorr.dat"), "rb") as saved:
            lines = saved.read().decode("cp1251").split("\r\n")
        if lines[-1] != "":
            raise Failure("ListCorr.dat does not end with a line end")
        lines = lines[:-1]
        expected = [f"{answer_name(h)} _|_ {address(h)}" for h in [*SCRIPTED, 251, 252]]
        if lines[0] != expected[-2] or len(lines) != len(set(lines)) or set(lines) != set(expected):
            extra = sorted(set(lines) - set(expected))[:5]
            missing = sorted(set(expected) - set(lines))[:5]
            raise Failure(f"ListCorr.dat holds {len(lines)} lines ({len(set(lines))} different);"
                          f" unexpected {extra}, missing {missing}")
        self.ok("the directory holds each of the 252 exactly once after two searches")

    def peer_command(self, from_host: int, to_host: int, text: str) -> None:
        command = {"from": address(from_host), "to": address(to_host), "hex": cp1251(text).hex()}
        self.peer.send(command)


    def wait_past_late_answers(self) -> None:
        time.sleep(max(0.0, self.search_ended_at - time.monotonic()))

    def finish(self) -> None:
        for host in (251, 252):
            self.end_program(host)
        self.ok("the other copies end normally on SIGTERM")

    def report_failure(self) -> None:
        harness.print_logs(self.workdir, leave_out=("sniffer.log",))


def main() -> int:
    return harness.main(
        __doc__, lambda args, workdir: SweepScenario(os.path.abspath(args[0]), workdir),
        lambda s: [s.start, lambda: s.focus_titled("Зовница"), lambda: s.check_search(1),
                   s.wait_past_late_answers, lambda: s.check_search(2), s.check_directory,
                   s.finish],
        folder="vesmar-sweep-", time_limit=TOTAL_LIMIT)


if __name__ == "__main__":
    sys.exit(main())
