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
import json
import os
import selectors
import socket
import sys
import time

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
    target = (command["to"], 333)
    start = time.monotonic()
    for i in range(command["flood"]):
        entry = "ЧУЖОЙ{:06d}".format(i).encode("cp1251") + b" _|_ " + entry_address
        sock.sendto(PREFIX + b"NEWADDR:" + name + RELAY + entry, target)
    print(json.dumps({"flooded": command["flood"],
                      "seconds": round(time.monotonic() - start, 3)}), flush=True)


def main() -> None:
    name = sys.argv[1].encode("cp1251")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    # Room for what arrives while a flood is being sent.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 * 1024 * 1024)
    sock.bind(("0.0.0.0", 333))
    selector = selectors.DefaultSelector()
    selector.register(sock, selectors.EVENT_READ)
    # Standard input is read unbuffered, as in udp_peer.py.
    stdin = sys.stdin.fileno()
    selector.register(stdin, selectors.EVENT_READ)
    print(json.dumps({"ready": True}), flush=True)
    pending = b""
    while True:
        for key, _ in selector.select():
            if key.fileobj is sock:
                data, (host, port) = sock.recvfrom(4096)
                print(json.dumps({"from": host, "port": port, "hex": data.hex(),
                                  "t": time.monotonic()}), flush=True)
                for reply in answers(data, name):
                    sock.sendto(reply, (host, 333))
                continue
            chunk = os.read(stdin, 65536)
            if not chunk:
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                command = json.loads(line)
                if "flood" in command:
                    flood(sock, command)
                else:
                    sock.sendto(bytes.fromhex(command["hex"]), (command["to"], 333))


if __name__ == "__main__":
    main()
