#!/usr/bin/env python3
"""A scripted peer that behaves like an old copy of the program: plain UDP on port 333.

Usage: old_peer.py <self name>

Every datagram received goes through the old dispatcher (old_dispatch below):
the text ends at the first NUL, loses its blanks at both ends, and is a
control datagram only when the control prefix stands at its first position;
the nine keyword tests then run in their order on the control text. The peer
answers as an old copy does: "AUTODETECT1" with "MYNAMEIS1:" + self name,
"AUTODETECT0" with "MYNAMEIS0:" + self name, "MYNAMEIS2:" with "MYNAMEIS3:" +
self name, each to port 333 of the sender. It keeps no lists.

Prints {"ready": true} once bound, then one JSON line per datagram received:
{"from": ..., "port": ..., "hex": <the raw payload>, "t": <monotonic time>}.
Reads commands from standard input, one JSON object a line:
{"to": <address>, "hex": <payload>} sends one datagram to port 333;
{"flood": <count>, "to": <address>, "name": <self name in the datagrams>,
 "address": <address in the entries>} sends <count> directory entries that
differ in their names ("NEWADDR:"), back to back as fast as the socket takes
them, then prints {"flooded": <count>, "seconds": <time taken>}.
"""
import socket
import sys
import time

from scripted_peer import PORT, bound_socket, report, serve

PREFIX = b"~#&!^~:"
KEYWORDS = [b"AUTODETECT1", b"MYNAMEIS1:", b"AUTODETECT0", b"MYNAMEIS0:", b"MYNAMEIS2:",
            b"MYNAMEIS3:", b"IAMEXIT:", b"NEWADDR:", b"EDITADDR:"]
RELAY = b"~_^B"


def cut_blanks(text: bytes) -> bytes:
    return text.rstrip(b" ").lstrip(b" ")


def old_dispatch(data: bytes):
    """What an old copy makes of one datagram.

    Returns ("chat", text) for a line it would show, ("silent", control text)
    for a control datagram without any keyword (dropped without a trace), or
    ("control", [(keyword, argument), ...]) with every keyword test that
    matched, in order; the argument is what that branch would use (the name,
    or the relayed entry, None where the relay separator is missing)."""
    if not data:
        return ("silent", b"")
    # A text that is empty after the cut is still a (blank) line of the log.
    text = cut_blanks(data.split(b"\0", 1)[0])
    if not text.startswith(PREFIX):
        return ("chat", text)
    control = cut_blanks(text[len(PREFIX):])
    matches = []
    for keyword in KEYWORDS:
        at = control.find(keyword)
        if at < 0:
            continue
        if keyword.startswith(b"AUTODETECT"):
            matches.append((keyword, b""))
            continue
        control = cut_blanks(control[:at] + control[at + len(keyword):])
        argument = control
        if keyword in (b"NEWADDR:", b"EDITADDR:"):
            relay = control.find(RELAY)
            if relay < 0:
                argument = None
            else:
                control = cut_blanks(control[relay + len(RELAY):])
                argument = control
        matches.append((keyword, argument))
    if not matches:
        return ("silent", control)
    return ("control", matches)


def answers(data: bytes, name: bytes) -> list[bytes]:
    kind, detail = old_dispatch(data)
    if kind != "control":
        return []
    replies = {b"AUTODETECT1": b"MYNAMEIS1:", b"AUTODETECT0": b"MYNAMEIS0:",
               b"MYNAMEIS2:": b"MYNAMEIS3:"}
    return [PREFIX + replies[keyword] + name for keyword, _ in detail if keyword in replies]


def flood(sock: socket.socket, command: dict) -> None:
    name = command["name"].encode("cp1251")
    entry_address = command["address"].encode("ascii")
    target = (command["to"], PORT)
    start = time.monotonic()
    for i in range(command["flood"]):
        entry = "ЧУЖОЙ{:06d}".format(i).encode("cp1251") + b" _|_ " + entry_address
        sock.sendto(PREFIX + b"NEWADDR:" + name + RELAY + entry, target)
    report({"flooded": command["flood"], "seconds": round(time.monotonic() - start, 3)})


def main() -> None:
    name = sys.argv[1].encode("cp1251")
    # Room for what arrives while a flood is being sent.
    sock = bound_socket(receive_buffer=8 * 1024 * 1024)

    def received(_key, _sock, data: bytes, sender) -> None:
        report({"from": sender[0], "port": sender[1], "hex": data.hex(), "t": time.monotonic()})
        for reply in answers(data, name):
            sock.sendto(reply, (sender[0], PORT))

    def command(order: dict) -> None:
        if "flood" in order:
            flood(sock, order)
        else:
            sock.sendto(bytes.fromhex(order["hex"]), (order["to"], PORT))

    serve({"peer": sock}, received, command)


if __name__ == "__main__":
    main()
