#!/usr/bin/env python3
"""Idle traffic, removal of a vanished copy and a paused copy, among N real copies.

Starts N copies of the program, one per network namespace on one bridge, all
with the full directory (tests/e2e/scale_network.py), and prints one markdown
table: the start-up exchange, whether a line typed into copy 1 reaches all
others (and copy 1's roster through AT-SPI), the datagrams each copy sends per
minute while idle (2 minutes), processor time and memory per copy, when each
survivor removed a copy killed with SIGKILL, and what happens to a copy
stopped for 20 s. Progress goes to standard error.

Usage: scale_bench.py N [--program PATH] [--idle SECONDS] [--keep] [--arp]
Needs root (network namespaces), Xvfb, xdotool and AT-SPI. The default
program is build-release/Vesmar: build it with
  cmake --preset release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  cmake --build --preset release --target Vesmar --parallel 2
--keep leaves the work folder (logs, capture) in place. Every namespace gets
permanent neighbour entries for all others, unless --arp leaves address
resolution to the kernel (then the first datagrams of a copy to peers not yet
resolved can be lost at start, and rosters stay incomplete).
"""
import argparse
import os
import shutil
import signal
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import scale_network  # noqa: E402  (re-runs this script under the system's Python if needed)
import harness  # noqa: E402
import atspi_window  # noqa: E402


def progress(text: str) -> None:
    print(f"[{time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


def interrupted(_signum, _frame) -> None:
    raise KeyboardInterrupt


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("count", type=int, help="copies, 3 to 250")
    parser.add_argument("--program", default=os.path.join(ROOT, "build-release", "Vesmar"))
    parser.add_argument("--idle", type=float, default=120.0, help="idle window, seconds")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--arp", action="store_true",
                        help="leave address resolution to the kernel (no neighbour entries "
                        "filled in advance)")
    options = parser.parse_args()
    why = harness.missing_prerequisite(("ip", "Xvfb", "xdotool")) or atspi_window.missing()
    if why:
        print(f"cannot run: {why}", file=sys.stderr)
        return 2
    if not os.access(options.program, os.X_OK):
        print(f"no program at {options.program}", file=sys.stderr)
        return 2
    signal.signal(signal.SIGTERM, interrupted)
    workdir = tempfile.mkdtemp(prefix="vesmar-scale-")
    net = scale_network.ScaleNetwork(os.path.abspath(options.program), options.count, workdir,
                                     static_neighbours=not options.arp)
    run = scale_network.Run(net, idle_seconds=options.idle, progress=progress)
    started = time.time()
    failed = None
    # The helpers' own chatter (the accessibility registry's, say) goes to a
    # log, so that standard output holds the table alone.
    table_out = os.dup(1)
    chatter = os.open(os.path.join(workdir, "helpers.log"), os.O_WRONLY | os.O_CREAT, 0o644)
    os.dup2(chatter, 1)
    try:
        progress(f"{options.count} copies of {options.program}, work folder {workdir}")
        net.open()
        if not net.is_program(1):
            raise scale_network.Failure("ip netns exec did not run the program itself")
        run.all()
    except KeyboardInterrupt:
        failed = "interrupted"
    except Exception as error:  # noqa: BLE001 (the table so far is still printed)
        failed = f"{type(error).__name__}: {error}"
    finally:
        progress("cleaning up")
        net.close()
        sys.stdout.flush()
        os.dup2(table_out, 1)
    if failed:
        run.rows.append(("run ended early", failed))
    print(run.table(options.program))
    print(f"whole run {time.time() - started:.0f} s; work folder "
          + (workdir if options.keep or failed else "removed"))
    if not options.keep and not failed:
        shutil.rmtree(workdir, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
