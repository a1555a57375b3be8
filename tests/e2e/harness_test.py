#!/usr/bin/env python3
"""The verdict of the end-to-end harness on made-up runs (no namespaces needed):
what passes, what fails, what a raising step stops, what a failed run keeps."""
import contextlib
import io
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class Made(harness.Run):
    """A run with a program directory and a child, as a real test has; it
    notes which steps ran, whether it was closed, and what its folder kept."""

    def __init__(self, workdir: str):
        super().__init__(workdir)
        self.ran: list[str] = []
        self.closed = False
        self.kept: set[str] = set()
        self.folder = harness.write_program_directory(os.path.join(workdir, "copy1"),
                                                      sys.executable, "АННА", ["Б _|_ 1.2.3.4"])
        self.sleeper = self.spawn([sys.executable, "-c", "import time; time.sleep(60)"],
                                  "sleeper.log")

    def close(self) -> None:
        self.closed = True
        super().close()


def verdict(steps, arguments=("program",), prerequisite=lambda: "", **options):
    """Runs harness.main on a Made run whose steps are steps(run); returns the
    exit code, the output and the run (None where none was made)."""
    made = []

    def make(_args, workdir):
        made.append(Made(workdir))
        return made[0]

    out = io.StringIO()
    saved, sys.argv = sys.argv, ["test", *arguments]
    try:
        with contextlib.redirect_stdout(out):
            code = harness.main("usage", make, steps, prerequisite=prerequisite, **options)
    finally:
        sys.argv = saved
    run = made[0] if made else None
    if run is not None:
        for folder, _, files in os.walk(run.workdir):
            run.kept |= {os.path.relpath(os.path.join(folder, f), run.workdir) for f in files}
        shutil.rmtree(run.workdir, ignore_errors=True)
    return code, out.getvalue(), run


def failing(run: Made) -> None:
    run.ran.append("failing")
    raise harness.Failure("nothing answered")


class Verdict(unittest.TestCase):
    def test_a_run_whose_checks_pass_leaves_nothing_behind(self):
        code, out, run = verdict(lambda r: [lambda: r.check(True, "one"), lambda: r.ok("two")])
        self.assertEqual(code, 0)
        self.assertTrue(out.rstrip().endswith("2 passed, 0 failed"))
        self.assertFalse(run.kept)
        self.assertTrue(run.closed)
        self.assertIsNotNone(run.sleeper.poll(), "the children are ended")

    def test_a_failed_check_goes_on_and_keeps_the_logs_not_the_programs(self):
        code, out, run = verdict(lambda r: [lambda: r.check(False, "the line arrives", "no"),
                                            lambda: r.ok("the copy ends")])
        self.assertEqual(code, 1)
        self.assertIn("not ok 1 - the line arrives: no", out)
        self.assertIn("ok 2 - the copy ends", out)
        self.assertTrue(out.rstrip().endswith("1 passed, 1 failed"))
        self.assertEqual(run.kept, {"sleeper.log", "copy1/Vesmar.ini", "copy1/ListCorr.dat"})

    def test_a_raising_step_stops_the_run_unless_told_to_go_on(self):
        for go_on, expected in ((False, ["failing"]), (True, ["failing", "after"])):
            with self.subTest(go_on=go_on):
                code, out, run = verdict(
                    lambda r: [lambda: failing(r), ("after", lambda: r.ran.append("after"))],
                    go_on=go_on)
                self.assertEqual(code, 1)
                self.assertEqual(run.ran, expected)
                self.assertIn("not ok - step 1 stopped: Failure: nothing answered", out)
                self.assertTrue(out.rstrip().endswith("0 passed, 1 failed"))
                self.assertTrue(run.closed)

    def test_wrong_arguments_and_a_missing_tool_start_nothing(self):
        code, out, run = verdict(lambda r: [], arguments=())
        self.assertEqual((code, run), (2, None))
        self.assertIn("usage", out)
        code, out, run = verdict(lambda r: [], prerequisite=lambda: "xdotool is not installed")
        self.assertEqual((code, run), (harness.SKIP, None))
        self.assertIn("SKIP: xdotool is not installed", out)


class Files(unittest.TestCase):
    def test_program_files_are_windows_1251_with_crlf(self):
        self.assertEqual(harness.directory_bytes(["ЁЖ _|_ 10.0.0.1", "b _|_ c"]),
                         b"\xa8\xc6 _|_ 10.0.0.1\r\nb _|_ c\r\n")
        self.assertEqual(harness.settings_bytes("Я"), b"[ANY]\r\nMyName=\xdf\r\n")
        self.assertTrue(harness.settings_bytes("Я", quiet=True).endswith(b"YesBeep_Corr=0\r\n"))


if __name__ == "__main__":
    unittest.main()
