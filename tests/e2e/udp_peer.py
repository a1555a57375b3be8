#!/usr/bin/env python3
"""A scripted conference peer: plain UDP on port 333.

Reads commands from standard input, one JSON object per line:
{"to": "<address>", "hex": "<payload>"} sends one datagram to port 333.
Prints every datagram it receives as {"from": ..., "port": ..., "hex": ...}.
"""
from scripted_peer import PORT, bound_socket, report, serve


def main() -> None:
    sock = bound_socket()

    def received(_key, _sock, data: bytes, sender) -> None:
        report({"from": sender[0], "port": sender[1], "hex": data.hex()})

    def command(order: dict) -> None:
        sock.sendto(bytes.fromhex(order["hex"]), (order["to"], PORT))

    serve({"peer": sock}, received, command)


if __name__ == "__main__":
    main()
