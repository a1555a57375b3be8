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
import sys

from scripted_peer import PORT, bound_socket, report, serve

REQUEST = b"~#&!^~:AUTODETECT0"


def main() -> None:
    prefix = sys.argv[1]
    sockets = {address: bound_socket(address) for address in sys.argv[2:]}

    def received(own: str, sock, data: bytes, sender) -> None:
        report({"from": sender[0], "to": own, "hex": data.hex()})
        if data == REQUEST:
            name = f"{prefix}{int(own.rsplit('.', 1)[1]):03d}"
            sock.sendto(b"~#&!^~:MYNAMEIS0:" + name.encode("cp1251"), (sender[0], PORT))

    def command(order: dict) -> None:
        sockets[order["from"]].sendto(bytes.fromhex(order["hex"]), (order["to"], PORT))

    serve(sockets, received, command)


if __name__ == "__main__":
    main()
