#!/usr/bin/env python3
"""A peer that registers under many names at once and counts the answers.

Usage: burst_peer.py <address> <count> <timeout seconds>

First waits until the copy at <address> answers a link check, then sends
<count> registrations from distinct names back to back, as fast as the socket
takes them, and counts the answers (each registration gets one). Prints one JSON line:
{"sent": n, "answered": n, "seconds": time from the first send to the last answer}.
"""
import json
import socket
import sys
import time

PREFIX = b"~#&!^~:"


def main() -> int:
    target, count, timeout = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 * 1024 * 1024)
    sock.bind(("0.0.0.0", 333))
    deadline = time.monotonic() + timeout

    sock.settimeout(0.5)
    while True:
        if time.monotonic() > deadline:
            print(json.dumps({"error": "the copy never answered a link check"}), flush=True)
            return 1
        sock.sendto(PREFIX + b"AUTODETECT1", (target, 333))
        try:
            data, _ = sock.recvfrom(4096)
            if data.startswith(PREFIX + b"MYNAMEIS1:"):
                break
        except socket.timeout:
            pass

    start = time.monotonic()
    for i in range(count):
        sock.sendto(PREFIX + b"MYNAMEIS2:P%d" % i, (target, 333))
    answered = 0
    last = start
    sock.settimeout(1.0)
    while answered < count and time.monotonic() < deadline:
        try:
            data, _ = sock.recvfrom(4096)
        except socket.timeout:
            continue
        if data.startswith(PREFIX + b"MYNAMEIS3:"):
            answered += 1
            last = time.monotonic()
    print(json.dumps({"sent": count, "answered": answered,
                      "seconds": round(last - start, 2)}), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
