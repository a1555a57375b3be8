#!/usr/bin/env python3
"""Many scripted conference peers in one network namespace, one per address.

Usage: sweep_answerer.py <name prefix> <address>...
Binds UDP port 333 on every address given and answers each name request
("~#&!^~:AUTODETECT0") from that same address with "~#&!^~:MYNAMEIS0:" and
the prefix followed by the address's last number (three digits), sent to port
333 of the asker, as every copy of the program does. Prints
{"ready": true} once bound, then one JSON line per datagram received:
{"from": ..., "to": ..., "hex": ...}. Reads commands from standard input, one
JSON object a line: {"from": <own address>, "to": <address>, "hex": <payload>}.
"""
import json
import os
import selectors
import socket
import sys

PORT = 333
REQUEST = b"~#&!^~:AUTODETECT0"


def main() -> None:
    prefix = sys.argv[1]
    selector = selectors.DefaultSelector()
    sockets = {}
    for address in sys.argv[2:]:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((address, PORT))
        sockets[address] = sock
        selector.register(sock, selectors.EVENT_READ, address)
    stdin = sys.stdin.fileno()
    selector.register(stdin, selectors.EVENT_READ, None)
    print(json.dumps({"ready": True}), flush=True)
    pending = b""
    while True:
        for key, _ in selector.select():
            own = key.data
            if own is not None:
                data, (host, _port) = key.fileobj.recvfrom(4096)
                print(json.dumps({"from": host, "to": own, "hex": data.hex()}), flush=True)
                if data == REQUEST:
                    name = f"{prefix}{int(own.rsplit('.', 1)[1]):03d}"
                    key.fileobj.sendto(b"~#&!^~:MYNAMEIS0:" + name.encode("cp1251"), (host, PORT))
                continue
            chunk = os.read(stdin, 65536)
            if not chunk:
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                command = json.loads(line)
                sockets[command["from"]].sendto(bytes.fromhex(command["hex"]), (command["to"], PORT))


if __name__ == "__main__":
    main()
