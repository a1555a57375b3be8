#!/usr/bin/env python3
"""The flood benchmark with a screen reader's bus active (AT-SPI on).

Starts a private D-Bus session bus with AT-SPI's bus launcher
(tests/e2e/atspi_window.py), subscribes here to the events a screen reader
listens to, so that the window's accessibility bridge sends them, runs
bench_flood on that bus on the X display of DISPLAY, and prints its report
and rows. The events heard meanwhile go to standard error.

Usage: flood_with_screen_reader.py <path to bench_flood> [datagrams]
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import atspi_window  # noqa: E402

atspi_window.require_system_python()

# What a screen reader such as Orca subscribes to.
EVENTS = ["object:text-changed", "object:text-caret-moved", "object:text-selection-changed",
          "object:state-changed", "object:children-changed", "object:property-change",
          "object:value-changed", "object:selection-changed", "focus:", "window:activate"]


def main() -> int:
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    why = atspi_window.missing()
    if why or not os.environ.get("DISPLAY"):
        print(f"flood with a screen reader skipped: {why or 'no DISPLAY'}", file=sys.stderr)
        return 0
    workdir = tempfile.mkdtemp(prefix="vesmar-flood-a11y-")
    bus = atspi_window.AccessibilityBus(workdir, os.environ["DISPLAY"])
    bus.start()
    try:
        import pyatspi
        heard = {"events": 0, "characters": 0}

        def on_event(event):
            heard["events"] += 1
            if event.type.startswith("object:text-changed") and isinstance(event.any_data, str):
                heard["characters"] += len(event.any_data)

        for name in EVENTS:
            pyatspi.Registry.registerEventListener(on_event, name)
        atspi_window.pump(0.5)
        env = bus.env(os.environ)
        env.setdefault("QT_QPA_PLATFORM", "xcb")
        flood = subprocess.Popen([sys.argv[1], *sys.argv[2:]], env=env, stdout=subprocess.PIPE,
                                 text=True)
        # The events are taken in while the flood runs, as a screen reader would.
        while flood.poll() is None:
            atspi_window.pump(0.05)
        atspi_window.pump(0.5)
        sys.stdout.write(flood.stdout.read())
        print(f"  a screen reader heard {heard['events']} events, "
              f"{heard['characters']} characters of inserted text", file=sys.stderr)
        return flood.returncode
    finally:
        bus.close()


if __name__ == "__main__":
    sys.exit(main())
