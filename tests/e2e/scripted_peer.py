"""The loop of a scripted peer: datagrams in, commands from standard input.

A peer script binds its sockets, then hands them to serve(), which prints
{"ready": true} and from then on calls on_datagram(key, sock, data, sender)
for every datagram that arrives on one of them and on_command(command) for
every JSON object that arrives on standard input, one a line, until that
input ends. report() prints one JSON line at once.
"""
import json
import os
import selectors
import socket
import sys

PORT = 333


def report(record: dict) -> None:
    print(json.dumps(record), flush=True)


def bound_socket(address: str = "0.0.0.0", port: int = PORT,
                 receive_buffer: int = 0) -> socket.socket:
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if receive_buffer:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
    sock.bind((address, port))
    return sock


def serve(sockets: dict, on_datagram, on_command) -> None:
    selector = selectors.DefaultSelector()
    for key, sock in sockets.items():
        selector.register(sock, selectors.EVENT_READ, (key,))
    # Standard input is read unbuffered: a buffered reader could keep a second
    # command in its buffer while the selector waits for the descriptor.
    stdin = sys.stdin.fileno()
    selector.register(stdin, selectors.EVENT_READ, None)
    report({"ready": True})
    pending = b""
    while True:
        for key, _ in selector.select():
            if key.data is not None:
                data, sender = key.fileobj.recvfrom(4096)
                on_datagram(key.data[0], key.fileobj, data, sender)
                continue
            chunk = os.read(stdin, 65536)
            if not chunk:
                return
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                on_command(json.loads(line))
