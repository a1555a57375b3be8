#!/usr/bin/env python3
"""Twenty real copies on one bridge: idle traffic, a killed copy and a paused one.

The small version of bench/scale_bench.py (tests/e2e/scale_network.py does
the work): 20 copies, one per network namespace, all with the full
directory; copy 1 on Xvfb with AT-SPI, the others offscreen; every datagram
on the bridge captured. Checked:
1. a line put into copy 1's window and sent with Return reaches all 19
   others, and each sends a receipt for the id that went to it;
2. over a 60 s idle window each copy sends at most 10 datagrams a minute
   (mean and max over the copies);
3. copy 20, killed with SIGKILL, is removed by every survivor within 60 s
   (seen on the wire: its gone notice, or its check of one), and copy 1's
   roster loses it;
4. copy 2, stopped for 20 s and continued, is named gone by nobody, is still in
   copy 1's roster 30 s later, and names nobody gone itself;
5. the capture missed no frame (else the figures above would be too low);
6. every copy but the killed one is still running at the end and ends
   normally on SIGTERM (under the sanitizers: no error, no leak).
The table of the run is printed, as the benchmark prints it.

Usage: scale_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, Xvfb, xdotool or AT-SPI are not available.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scale_network  # noqa: E402  (re-runs this script under the system's Python if needed)
import atspi_window  # noqa: E402
import harness  # noqa: E402

COPIES = 20
IDLE_SECONDS = 60.0
IDLE_LIMIT = 10.0        # datagrams sent per copy per minute
REMOVAL_LIMIT = 60.0


def progress(text: str) -> None:
    print(f"# [{time.strftime('%H:%M:%S')}] {text}", flush=True)


class ScaleTest(harness.Run):
    """The network of copies and the run of the benchmark; the checks are made
    on the run's figures once every copy has ended."""

    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.net = scale_network.ScaleNetwork(binary, COPIES, workdir)
        self.run = scale_network.Run(self.net, idle_seconds=IDLE_SECONDS, startup_limit=90.0,
                                     kill_limit=REMOVAL_LIMIT + 15, progress=progress)
        self.closed = False

    def measure(self) -> None:
        self.net.open()
        self.run.all()

    def close(self) -> None:
        if not self.closed:
            self.closed = True
            self.net.close()

    def judge(self) -> None:
        """After close(): the exit codes are known then."""
        self.close()
        print(self.run.table(self.binary))
        figures = self.run.figures
        others = COPIES - 1
        self.check(figures.get("reached") == others and figures.get("confirmed") == others,
                   f"a line from copy 1 reaches all {others} others and each confirms it")
        self.check(figures.get("idle_max", IDLE_LIMIT + 1) <= IDLE_LIMIT
                   and figures.get("idle_mean", IDLE_LIMIT + 1) <= IDLE_LIMIT,
                   f"idle: at most {IDLE_LIMIT:.0f} datagrams sent per copy per minute "
                   "(mean and max)")
        self.check(figures.get("removed_by") == figures.get("survivors", -1)
                   and (figures.get("removal_max") or REMOVAL_LIMIT + 1) <= REMOVAL_LIMIT
                   and figures.get("roster_lost") is not None,
                   f"the killed copy is removed by every survivor within {REMOVAL_LIMIT:.0f} s")
        self.check(figures.get("pause_named_by") == [] and figures.get("pause_roster_held") is True
                   and figures.get("pause_dropped") == [],
                   "the paused copy is dropped by nobody and drops nobody")
        self.check(self.net.dropped == 0, "the capture missed no frame")
        codes = self.net.exit_codes
        bad = {host: code for host, code in codes.items() if code != 0}
        self.check(len(codes) == COPIES - 1 and not bad,
                   "every copy still running ends normally on SIGTERM",
                   f"exit codes other than 0: {bad}" if bad else "")


def main() -> int:
    return harness.main(
        __doc__, lambda args, workdir: ScaleTest(os.path.abspath(args[0]), workdir),
        lambda s: [s.measure, s.judge], go_on=True, folder="vesmar-scale-",
        prerequisite=lambda: harness.missing_prerequisite(("ip", "Xvfb", "xdotool"))
        or atspi_window.missing())


if __name__ == "__main__":
    sys.exit(main())
