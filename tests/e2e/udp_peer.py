#!/usr/bin/env python3
"""A scripted conference peer: plain UDP on port 333.

Reads commands from standard input, one JSON object per line:
{"to": "<address>", "hex": "<payload>"} sends one datagram to port 333.
Prints every datagram it receives as {"from": ..., "port": ..., "hex": ...}.
"""
import json
import os
import selectors
import socket
import sys


def main() -> None:
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", 333))
    selector = selectors.DefaultSelector()
    selector.register(sock, selectors.EVENT_READ)
    # Standard input is read unbuffered: a buffered reader could keep a second
    # command in its buffer while the selector waits for the descriptor.
    stdin = sys.stdin.fileno()
    selector.register(stdin, selectors.EVENT_READ)
    print(json.dumps({"ready": True}), flush=True)
    pending = b""
    while True:
        for key, _ in selector.select():
            if key.fileobj is sock:
                data, (host, port) = sock.recvfrom(4096)
                print(json.dumps({"from": host, "port": port, "hex": data.hex()}), flush=True)
                continue
            chunk = os.read(stdin, 65536)
            if not chunk:
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                command = json.loads(line)
                sock.sendto(bytes.fromhex(command["hex"]), (command["to"], 333))


if __name__ == "__main__":
    main()
