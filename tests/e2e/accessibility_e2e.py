#!/usr/bin/env python3
"""A real copy's window as a screen reader sees it, through AT-SPI.

One copy runs with its window on an Xvfb display, inside a network namespace
of its own, beside a scripted peer in a second one; both are bridged in a hub
namespace. The copy and this test talk to a private D-Bus session bus with
AT-SPI's bus launcher (atspi_window.py). The copy's directory holds its own
address and the peer's, so both stand in its roster; the peer then sends 40
different chat lines of about 250 characters, each wrapping to several rows.

Checked through AT-SPI: the log is a read-only multi-line text named
«Информация» whose text is every received line, which it announced as
inserted text, with the caret at its end; the roster is a list named
«Участвуют» whose items are its lines, and a click selects one; the
directory is a list of the directory's lines; every field, list and button
of the window has its Russian name («Сообщение», «Ваше имя», the four
filters, «Полный список», «О программе» ...). Then, driven like a person
with xdotool at the default window size: Up from the end of the log, and
then the scroll bar's up arrow, move the view a row at a time until the top,
so that every row of every line comes into view, and Ctrl+Home shows that
same top.

Usage: accessibility_e2e.py <path to Vesmar>. Exits 77 (skipped) where
network namespaces, Xvfb, xdotool or AT-SPI (at-spi2-core, python3-pyatspi)
are not available. VESMAR_E2E_SCREENSHOT=<file.png> keeps a screenshot of
the window once the lines are in.
"""
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_window  # noqa: E402

atspi_window.require_system_python()

import harness  # noqa: E402
from harness import PREFIX, Failure, cp1251  # noqa: E402

SUBNET = "10.233.99."
COPY = 1
PEER = 4
COPY_NAME = "АННА"
PEER_NAME = "ТЕСТ"
LINES = 40
WAIT = harness.WAIT


def address(host: int) -> str:
    return SUBNET + str(host)


def chat_lines() -> list[str]:
    """Different lines of about 250 characters, words of Cyrillic letters."""
    rng = random.Random(7)
    letters = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя"
    lines = []
    for i in range(LINES):
        line = f"{PEER_NAME}: строка {i}"
        while len(line) < 245:
            line += " " + "".join(rng.choice(letters) for _ in range(rng.randint(2, 10)))
        lines.append(line)
    return lines


class Scenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.net = harness.TestNetwork("va", {COPY: [COPY], PEER: [PEER]}, subnet=SUBNET)
        self.bus = None

    def peer_send(self, text: str) -> None:
        self.peer.send({"to": address(COPY), "hex": cp1251(text).hex()})

    # -- the scenario -------------------------------------------------------

    def start(self) -> None:
        self.net.open()
        display = self.start_display()
        self.bus = atspi_window.AccessibilityBus(self.workdir, display)
        self.bus.start()
        self.peer = self.scripted(PEER, "udp_peer.py", name="peer")
        self.directory = [f"{COPY_NAME} _|_ {address(COPY)}", f"{PEER_NAME} _|_ {address(PEER)}"]
        folder = harness.write_program_directory(os.path.join(self.workdir, "copy"), self.binary,
                                                 COPY_NAME, self.directory)
        env = harness.copy_environment(self.bus.env(os.environ), QT_QPA_PLATFORM="xcb")
        self.copy = self.start_program(COPY, folder, env, "copy.log")

        # The copy registers with the peer and with itself; the peer answers.
        expected = cp1251(PREFIX + "MYNAMEIS2:" + COPY_NAME).hex()
        self.peer.wait_for("registration", lambda d: d.get("hex") == expected)
        self.peer_send(PREFIX + "MYNAMEIS3:" + PEER_NAME)
        self.window = atspi_window.Window.of_process(self.copy.pid)
        self.ok("the copy's window is on the accessibility bus")

    def check_log(self) -> None:
        import pyatspi
        inserted = []
        log = self.window.log()

        def on_insert(event):
            if event.source.getRoleName() == "text" and event.source.name == "Информация":
                inserted.append(event.any_data)

        pyatspi.Registry.registerEventListener(on_insert, "object:text-changed:insert")
        atspi_window.pump(1.0)  # the copy hears that someone listens
        # A line after a quiet spell is told at once, in an event of its own.
        self.lines = chat_lines()
        self.peer_send(self.lines[0])
        first = self.lines[0] + "\n"
        atspi_window.wait_until("text-inserted event of the first line",
                                lambda: inserted == [first])
        # A burst is told in fewer events than lines, together every line.
        for line in self.lines[1:]:
            self.peer_send(line)
        expected = "".join(line + "\n" for line in self.lines)
        atspi_window.wait_until("log holding every line",
                                lambda: log.queryText().getText(0, -1) == expected)
        atspi_window.wait_until("text-inserted events for every line",
                                lambda: "".join(inserted) == expected, timeout=10)
        pyatspi.Registry.deregisterEventListener(on_insert, "object:text-changed:insert")
        if len(inserted) >= LINES:
            raise Failure(f"{len(inserted)} text-inserted events for a burst of {LINES - 1} lines")
        if log.getRoleName() != "text":
            raise Failure(f"the log's role is {log.getRoleName()!r}, not text")
        for state in ("read_only", "multi_line", "focusable"):
            if not atspi_window.has_state(log, state):
                raise Failure(f"the log is not {state}")
        if atspi_window.has_state(log, "editable"):
            raise Failure("the log says it is editable")
        text = log.queryText()
        if text.caretOffset != text.characterCount or text.characterCount != len(expected):
            raise Failure(f"caret {text.caretOffset} of {text.characterCount} characters, "
                          f"expected the end of {len(expected)}")
        self.ok("the log is a read-only multi-line text holding every received line")
        self.ok(f"the log told a lone line at once and a burst of {LINES - 1} lines in "
                f"{len(inserted) - 1} text-inserted events")
        shot = os.environ.get("VESMAR_E2E_SCREENSHOT")
        if shot:
            subprocess.run(["import", "-window", "root", shot], env=self.x_env, check=False)

    def check_lists_and_names(self) -> None:
        roster = [f"{COPY_NAME} _|_ {address(COPY)}", f"{PEER_NAME} _|_ {address(PEER)}"]
        atspi_window.wait_until("roster of both", lambda: self.window.roster_rows() == roster)
        view = self.window.find("list", "Участвуют")
        second = view.getChildAtIndex(1)
        if second.getRoleName() != "list item":
            raise Failure(f"a roster row's role is {second.getRoleName()!r}")
        x, y, width, height = atspi_window.extents(second)
        if width <= 0 or height <= 0:
            raise Failure(f"the roster row has no place on screen: {width}x{height}")
        self.xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")
        atspi_window.wait_until("the clicked roster row selected",
                                lambda: atspi_window.is_selected(view.getChildAtIndex(1)))
        if atspi_window.is_selected(view.getChildAtIndex(0)):
            raise Failure("the first roster row is selected too")
        self.ok("the roster is a list whose items are its lines; a click selects one")
        if self.window.directory_rows() != self.directory:
            raise Failure(f"directory rows {self.window.directory_rows()}")
        self.ok("the directory is a list whose items are its lines")

        named = [("text", "Сообщение"), ("text", "Ваше имя"),
                 ("text", "Всплывание, если сообщение от корреспондента"),
                 ("text", "Всплывание, если новый корреспондент"),
                 ("text", "Звук, если сообщение от корреспондента"),
                 ("text", "Звук, если новый корреспондент"),
                 ("list", "Участвуют"), ("list", "Полный список"),
                 ("push button", "О программе"), ("push button", "Отправить (Enter)"),
                 ("push button", "Зарегистрироваться"),
                 ("check box", "Сообщение от корреспондента :"),
                 ("check box", "Новый корреспондент :")]
        for role, name in named:
            self.window.find(role, name)
        # Every field, list and button of the window has a name.
        for role in ("text", "list", "push button", "check box", "radio button"):
            for widget in self.window.find_all(role):
                if not widget.name.strip():
                    raise Failure(f"a {role} has no name")
        self.ok("every field, list and button is named, the message field «Сообщение»")

    def check_scrolling(self) -> None:
        """Up from the end, and the scroll bar's up arrow, reach every row."""
        log = self.window.log()
        bars = [node for node in self._descendants(log) if node.getRoleName() == "scroll bar"
                and atspi_window.has_state(node, "showing")]
        if not bars:
            raise Failure("the log shows no scroll bar")
        bar = bars[0]
        value = bar.queryValue()
        x, y, width, height = atspi_window.extents(log)
        self.xdotool("mousemove", str(x + width // 3), str(y + height // 2), "click", "1")
        self.xdotool("key", "ctrl+End")
        top = atspi_window.wait_until("the view at the end", lambda: int(value.currentValue) or 0)
        if top <= 0 or top != int(value.maximumValue):
            raise Failure(f"after Ctrl+End the view stands at {top} of {value.maximumValue}")
        text = log.queryText()

        def walk(step, token, what: str) -> None:
            """Steps until the top; each step is waited for by the change of
            token() it makes (the caret for a key, the view for a click)."""
            seen = {int(value.currentValue)}
            previous = int(value.currentValue)
            for _ in range(5000):
                before = token()
                step()
                atspi_window.wait_until(f"{what} taken", lambda: token() != before, timeout=10)
                now = int(value.currentValue)
                if previous - now not in (0, 1):
                    raise Failure(f"{what}: the view jumped from row {previous} to {now}")
                seen.add(now)
                previous = now
                if now == 0 and (what != "Up" or text.caretOffset == 0 or
                                 self._caret_on_first_row(text)):
                    break
            if previous != 0 or seen != set(range(top + 1)):
                raise Failure(f"{what}: the view stood at rows {sorted(seen)} on its way up")

        walk(lambda: self.xdotool("key", "Up"), lambda: text.caretOffset, "Up")
        self.xdotool("key", "ctrl+Home")
        if int(value.currentValue) != 0 or text.caretOffset != 0:
            raise Failure("Ctrl+Home does not show the top that Up reached")
        self.ok(f"Up from the end moves the view a row at a time through all {top + 1} "
                "positions to the top that Ctrl+Home shows")

        self.xdotool("key", "ctrl+End")
        bx, by, bwidth, bheight = atspi_window.extents(bar)
        # The up arrow is at the top of the bar in the styles Qt draws.
        arrow = (str(bx + bwidth // 2), str(by + min(bwidth, bheight) // 2))
        self.xdotool("mousemove", *arrow)
        walk(lambda: self.xdotool("click", "1"), lambda: int(value.currentValue), "the up arrow")
        self.ok("the scroll bar's up arrow moves the view a row at a time to the top")

    @staticmethod
    def _caret_on_first_row(text) -> bool:
        import pyatspi
        row = text.getTextAtOffset(text.caretOffset, pyatspi.TEXT_BOUNDARY_LINE_START)
        return row[1] == 0

    @staticmethod
    def _descendants(node):
        pending = [node]
        while pending:
            each = pending.pop()
            yield each
            pending.extend(each.getChildAtIndex(i) for i in range(each.childCount))

    def finish(self) -> None:
        self.end_program(COPY, "the copy")
        self.ok("the copy ends normally on SIGTERM")

    def close(self) -> None:
        super().close()
        if self.bus is not None:
            self.bus.close()


def main() -> int:
    return harness.main(
        __doc__, lambda args, workdir: Scenario(os.path.abspath(args[0]), workdir),
        lambda s: [s.start, s.check_log, s.check_lists_and_names, s.check_scrolling, s.finish],
        prerequisite=lambda: harness.missing_prerequisite(("ip", "Xvfb", "xdotool"))
        or atspi_window.missing(), folder="vesmar-a11y-")


if __name__ == "__main__":
    sys.exit(main())
