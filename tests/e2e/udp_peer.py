#!/usr/bin/env python3
"""A scripted conference peer: plain UDP on port 333.

Reads commands from standard input, one JSON object per line:
{"to": "<address>", "hex": "<payload>"} sends one datagram to port 333.
Prints every datagram it receives as {"from": ..., "port": ..., "hex": ...}.
"""
import json
import selectors
import socket
import sys


def main() -> None:
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", 333))
    selector = selectors.DefaultSelector()
    selector.register(sock, selectors.EVENT_READ)
    selector.register(sys.stdin, selectors.EVENT_READ)
    print(json.dumps({"ready": True}), flush=True)
    while True:
        for key, _ in selector.select():
            if key.fileobj is sock:
                data, (host, port) = sock.recvfrom(4096)
                print(json.dumps({"from": host, "port": port, "hex": data.hex()}), flush=True)
            else:
                line = sys.stdin.readline()
                if not line:
                    return
                command = json.loads(line)
                sock.sendto(bytes.fromhex(command["hex"]), (command["to"], 333))


if __name__ == "__main__":
    main()
