#!/usr/bin/env python3
"""Prints every UDP datagram that the bridge of the test network hands to a host.

Runs inside the hub namespace. Only frames leaving the hub through a bridge
port are reported, so each datagram delivered to a host shows up exactly once.
One JSON object per line: src, dst, sport, dport, hex (the payload).
"""
import json
import socket
import struct
import sys

ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4


def main() -> None:
    port_prefix = sys.argv[1]
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    print(json.dumps({"ready": True}), flush=True)
    while True:
        frame, (ifname, _proto, pkttype, _hatype, _addr) = sock.recvfrom(65535)
        if pkttype != PACKET_OUTGOING or not ifname.startswith(port_prefix):
            continue
        if len(frame) < 34 or frame[12:14] != b"\x08\x00":
            continue
        ip = frame[14:]
        header_length = (ip[0] & 0x0F) * 4
        total_length = struct.unpack("!H", ip[2:4])[0]
        if ip[9] != 17 or len(ip) < header_length + 8:
            continue
        udp = ip[header_length:total_length]
        sport, dport, udp_length = struct.unpack("!HHH", udp[:6])
        payload = udp[8:udp_length]
        print(json.dumps({
            "src": socket.inet_ntoa(ip[12:16]),
            "dst": socket.inet_ntoa(ip[16:20]),
            "sport": sport,
            "dport": dport,
            "hex": payload.hex(),
        }), flush=True)


if __name__ == "__main__":
    main()
