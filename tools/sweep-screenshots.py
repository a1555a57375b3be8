#!/usr/bin/env python3
"""Makes the README's screenshots of the network search: docs/sweep-dialog.png
(the dialog with its proposed range) and docs/sweep-progress.png (the settings
page with the progress line, while the search waits for late answers).

Everything runs inside network namespaces made for the occasion, as in the
end-to-end test tests/e2e/sweep_e2e.py, whose network and copies this reuses:
the range the dialog proposes is the namespace's own, and the only ones who
answer are the scripted peers and the copies there. Needs root.
Usage: tools/sweep-screenshots.py [path/to/Vesmar]   (default: build/Vesmar)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import sweep_e2e  # noqa: E402


def main() -> int:
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build",
                                                                                  "Vesmar"))
    why = sweep_e2e.base.missing_prerequisite() or (
        "" if shutil.which("import") else "import (ImageMagick) is not installed")
    if why:
        print(why, file=sys.stderr)
        return 1
    workdir = tempfile.mkdtemp(prefix="vesmar-shots-")
    scenario = sweep_e2e.SweepScenario(binary, workdir)
    docs = os.path.join(ROOT, "docs")
    try:
        scenario.start()
        window = scenario.focus("Зовница", 60)
        time.sleep(1.0)  # the first tick has run
        scenario.xdotool("key", "ctrl+Tab")  # the settings page, where the directory is
        scenario.xdotool("key", "ctrl+f")
        dialog = scenario.focus("Найти в сети", 30)
        time.sleep(0.5)
        scenario.x_tool("import", "-window", dialog, os.path.join(docs, "sweep-dialog.png"))
        scenario.xdotool("key", "ctrl+Return")
        time.sleep(0.6)  # every request is out; the copy waits for late answers
        scenario.x_tool("import", "-window", window, os.path.join(docs, "sweep-progress.png"))
    except (sweep_e2e.Failure, subprocess.CalledProcessError) as error:
        print(f"failed: {error}", file=sys.stderr)
        return 1
    finally:
        scenario.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("Wrote docs/sweep-dialog.png and docs/sweep-progress.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
