#!/usr/bin/env python3
"""Three copies of the built program and one scripted peer on one test network.

Every copy runs in a Linux network namespace of its own, from a program
directory of its own (a real copy of the binary with a prepared Vesmar.ini and
ListCorr.dat). A fourth namespace holds the scripted peer (plain UDP), and a
hub namespace holds the bridge, where every delivered datagram is recorded.
The first copy shows its window on an Xvfb display and gets a chat line typed
with xdotool. The display's keyboard has a Latin and a Cyrillic group, so that
xdotool finds every letter of the line in the keymap.

Checked, on the wire and at the peer, waiting with generous time-outs:
registrations and their answers; the typed chat line reaching every roster
member with the exact bytes (between the copies, which confirm lines, the same
bytes with the line's id behind a NUL); a link-check request answered; a relayed entry
saved in the receiving copy's directory file after SIGTERM; the exit notices
sent at that end.

Usage: conference_e2e.py <path to Vesmar>. Exits 77 (skipped) where network
namespaces, Xvfb, setxkbmap or xdotool are not available.
"""
import os
import sys

import harness
from harness import PREFIX, Failure, cp1251

SUBNET = "10.233.77."
PEER_NAME = "ТЕСТ"
COPIES = [("АННА", 1), ("БОРИС", 2), ("ВЕРА", 3)]
PEER_HOST = 4


def address(host: int) -> str:
    return SUBNET + str(host)


def directory_lines() -> list[str]:
    lines = [f"{other} _|_ {address(host)}" for other, host in COPIES]
    return lines + [f"{PEER_NAME} _|_ {address(PEER_HOST)}"]


class Scenario(harness.Run):
    def __init__(self, binary: str, workdir: str):
        super().__init__(workdir)
        self.binary = binary
        self.net = harness.TestNetwork("vz", {host: [host] for host in [1, 2, 3, PEER_HOST]},
                                       SUBNET)
        self.peer = self.wire = None

    # -- helpers ------------------------------------------------------------

    def peer_send(self, host: int, text: str) -> None:
        self.peer.send({"to": address(host), "hex": cp1251(text).hex()})

    def peer_receives(self, host: int, text: str, what: str, since: int = 0) -> None:
        expected = cp1251(text).hex()
        self.peer.wait_for(what, lambda d: d.get("from") == address(host) and d["hex"] == expected,
                           since=since)

    def wire_carries(self, src: int, dst: int, text: str, what: str) -> None:
        expected = cp1251(text).hex()
        self.wire.wait_for(what, lambda d: d.get("src") == address(src)
                           and d.get("dst") == address(dst) and d["dport"] == 333
                           and d["hex"] == expected)

    def wire_carries_chat(self, src: int, dst: int, text: str, what: str) -> None:
        """A chat line between two copies of this version carries its id behind
        a NUL; the text before it is exactly what every copy shows."""
        expected = cp1251(text).hex()
        tagged = expected + "00" + b"VSID:".hex()
        self.wire.wait_for(what, lambda d: d.get("src") == address(src)
                           and d.get("dst") == address(dst) and d["dport"] == 333
                           and (d["hex"] == expected or (d["hex"].startswith(tagged)
                                                         and len(d["hex"]) == len(tagged) + 16)))

    def barrier(self, host: int, name: str) -> None:
        """Datagrams from one sender are handled in order: once a link-check
        request is answered, everything the peer sent before it has been handled."""
        since = self.peer.mark()
        self.peer_send(host, PREFIX + "AUTODETECT1")
        self.peer_receives(host, PREFIX + "MYNAMEIS1:" + name, f"link-check answer from {name}",
                           since=since)

    def set_keyboard_layouts(self) -> None:
        """Gives the display a Latin and a Cyrillic group. A letter missing from
        the keymap makes xdotool rebind a spare keycode while it types, and the
        window picks that new mapping up late, so the first such letters come
        out wrong or not at all. With both groups in the map xdotool never
        remaps: it finds each letter's group and locks it around the key event."""
        self.x_tool("setxkbmap", "-layout", "us,ru")
        query = self.x_tool("setxkbmap", "-query")
        if ["layout:", "us,ru"] not in (line.split() for line in query.splitlines()):
            raise Failure(f"the display did not take the keyboard layouts: {query}")

    def report_failure(self) -> None:
        for collected in (self.peer, self.wire):
            if collected is not None:
                collected.print_datagrams()
        super().report_failure()

    # -- the scenario -------------------------------------------------------

    def start(self) -> None:
        self.net.open()
        display = self.start_display()
        # Before the window's copy starts, so that it reads the final keymap.
        self.set_keyboard_layouts()
        self.wire = self.sniffer()
        self.peer = self.scripted(PEER_HOST, "udp_peer.py", name="peer")
        for name, host in COPIES:
            folder = harness.write_program_directory(os.path.join(self.workdir, f"copy{host}"),
                                                     self.binary, name, directory_lines())
            env = harness.copy_environment(DISPLAY=display,
                                           QT_QPA_PLATFORM="xcb" if host == 1 else "offscreen")
            self.start_program(host, folder, env)

    def check_registration(self) -> None:
        for name, host in COPIES:
            self.peer_receives(host, PREFIX + "MYNAMEIS2:" + name, f"registration of {name}")
            self.peer_send(host, PREFIX + "MYNAMEIS3:" + PEER_NAME)
        self.ok("every copy registers with the peer")
        for name, host in COPIES:
            for other, other_host in COPIES:
                if other_host == host:
                    continue
                self.wire_carries(host, other_host, PREFIX + "MYNAMEIS2:" + name,
                                  f"registration {name} -> {other}")
                self.wire_carries(other_host, host, PREFIX + "MYNAMEIS3:" + other,
                                  f"answer {other} -> {name}")
        self.ok("the copies register with each other and answer")
        for name, host in COPIES:
            self.barrier(host, name)
        self.ok("link-check requests are answered with the self name")

    def check_typed_chat(self) -> None:
        self.focus_titled("Зовница")
        message = "привет, Мир 42"
        self.xdotool("type", "--delay", "20", message)
        self.xdotool("key", "Return")
        line = "АННА: " + message
        self.peer_receives(1, line, "typed chat line")
        for _, host in COPIES[1:]:
            self.wire_carries_chat(1, host, line, f"chat line to copy {host}")
        self.ok("a line typed into the window reaches every roster member byte for byte")

    def check_relayed_entry_and_exit(self) -> None:
        entry = "НОВЫЙ _|_ " + address(99)
        self.peer_send(3, PREFIX + "NEWADDR:" + PEER_NAME + "~_^B" + entry)
        self.barrier(3, "ВЕРА")
        self.end_program(3)
        self.peer_receives(3, PREFIX + "IAMEXIT:ВЕРА", "exit notice of ВЕРА")
        for _, host in COPIES[:2]:
            self.wire_carries(3, host, PREFIX + "IAMEXIT:ВЕРА", f"exit notice to copy {host}")
        self.ok("SIGTERM ends a copy normally and its exit notices go out")
        with open(os.path.join(self.folders[3], "ListCorr.dat"), "rb") as saved:
            content = saved.read()
        expected = harness.directory_bytes(directory_lines() + [entry])
        if content != expected:
            raise Failure(f"ListCorr.dat of copy 3 holds {content!r}, expected {expected!r}")
        self.ok("a relayed entry is saved in the directory file at exit")

    def finish(self) -> None:
        for host in (1, 2):
            self.end_program(host)
        self.ok("the other copies end normally on SIGTERM")


def main() -> int:
    return harness.main(__doc__, lambda args, workdir: Scenario(os.path.abspath(args[0]), workdir),
                        lambda s: [s.start, s.check_registration, s.check_typed_chat,
                                   s.check_relayed_entry_and_exit, s.finish])


if __name__ == "__main__":
    sys.exit(main())
