#!/usr/bin/env python3
"""Scripted hosts for guard_e2e.py: a link-check pinger, paced floods from
forged sources through a raw socket, and a recipient that forges receipts.

Usage:
  guard_peers.py ping <target> <interval> <seconds>
      Binds UDP port 333, waits until <target> answers a link check, then
      sends one every <interval> seconds for <seconds> seconds and waits 3 s more for late answers.
      Answers come back in order, so each one is matched with the oldest
      request still open. Prints {"ready": true} once the copy answers and at the end
      {"sent", "answered", "worst", "late", "samples": [[t, latency], ...]}
      (times from the first request; "late" counts answers or requests over
      0.5 s, an unanswered request counting as late).
  guard_peers.py flood <plan file>
      Sends the datagrams a JSON plan describes through a raw socket with
      IP_HDRINCL, each from the source address the plan gives it, paced at
      plan["rate"] datagrams a second; with plan["chunk"], waiting after
      each chunk until the target answers a link check. Plan: {"target",
      "rate", "kind", ...} (see build_packets). Prints {"sent", "seconds"}.
  guard_peers.py listen <interface> <address>
      Prints every UDP datagram that arrives at <address>, any port.
  guard_peers.py ask <target> <timeout>
      Link checks until one is answered; prints {"answered": seconds}.
  guard_peers.py forge-receipts <interface> <own address> <victim address>
      Watches <interface> for the chat lines with an id that arrive at
      <own address> and for the receipts that leave it; each receipt this
      host's copy sends is sent again, byte for byte and to the same port,
      from <victim address> through a raw socket, together with the ids
      next to it. Prints {"ready": true}, then {"forged": id, "to", "port"}
      and "t" for each receipt forged.
"""
import json
import re
import socket
import struct
import sys
import time

PREFIX = b"~#&!^~:"
ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4
PORT = 333


def udp_packet(source: str, target: str, payload: bytes, sport: int = PORT,
               dport: int = PORT) -> bytes:
    """An IPv4 header and a UDP datagram; the kernel fills in the IP checksum,
    the total length and the id; a UDP checksum of 0 means none."""
    length = 8 + len(payload)
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + length, 0, 0, 64, socket.IPPROTO_UDP, 0,
                     socket.inet_aton(source), socket.inet_aton(target))
    return ip + struct.pack("!HHHH", sport, dport, length, 0) + payload


def raw_socket() -> socket.socket:
    sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_HDRINCL, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 * 1024 * 1024)
    return sock


def forged_source(base: str, index: int) -> str:
    """The index-th address counted up from base, skipping .0 and .255."""
    start = struct.unpack("!I", socket.inet_aton(base))[0]
    value = start + (index // 254) * 256 + index % 254 + 1
    return socket.inet_ntoa(struct.pack("!I", value))


def build_packets(plan: dict):
    """Yields (payload, source) in sending order for the plan's kind:
    - "separator": plan["count"] registrations from plan["source"] whose
      names hold the entry separator and the address plan["third"];
    - "register": plan["count"] registrations, one from each forged source;
    - "relay": plan["senders"] forged sources, plan["count"] relayed entries
      in all, the sources taken in turn, each entry different;
    - "stray": plan["count"] datagrams from as many sources, none of which an
      older copy acts on: control texts without a keyword, receipts for ids
      nobody sent and hellos, in turn (from plan["sources"] sources in
      turn, when given);
    - "hello": a hello from each of plan["count"] sources;
    - "tagged": one chat line with an id from each of plan["count"] sources;
    - "replay": plan["hex"] once from plan["source"]."""
    kind, base = plan["kind"], plan.get("base", "0.0.0.0")
    if kind == "separator":
        # Names that hold the entry separator and a third address.
        for i in range(plan["count"]):
            yield (PREFIX + b"MYNAMEIS2:X _|_ " + plan["third"].encode() + b" T%d" % i,
                   plan["source"])
    elif kind == "register":
        for i in range(plan["count"]):
            yield PREFIX + b"MYNAMEIS2:F%05d" % i, forged_source(base, i)
    elif kind == "relay":
        senders = plan["senders"]
        sources = [forged_source(base, i) for i in range(senders)]
        names = [b"F%05d" % i for i in range(senders)]
        entry_address = plan["entry_address"].encode()
        for i in range(plan["count"]):
            s = i % senders
            yield (PREFIX + b"NEWADDR:" + names[s] + b"~_^B" + b"R%06d _|_ " % i + entry_address,
                   sources[s])
    elif kind == "stray":
        kinds = [lambda i: PREFIX + b"ZZ%08X" % i, lambda i: PREFIX + b"VSACK:%08X" % i,
                 lambda i: PREFIX + b"VSHELLO:1"]
        sources = plan.get("sources", plan["count"])
        for i in range(plan["count"]):
            yield kinds[i % len(kinds)](i), forged_source(base, i % sources)
    elif kind == "hello":
        for i in range(plan["count"]):
            yield PREFIX + b"VSHELLO:1", forged_source(base, i)
    elif kind == "replay":
        yield bytes.fromhex(plan["hex"]), plan["source"]
    elif kind == "tagged":
        for i in range(plan["count"]):
            yield (b"F%05d: line %d\0VSID:%08X" % (i, i, 0x10000000 + i),
                   forged_source(base, i))
    else:
        raise ValueError(f"unknown kind {kind}")


def flood(spec_file: str) -> None:
    with open(spec_file) as source:
        plan = json.load(source)
    target, rate = plan["target"], float(plan["rate"])
    sock = raw_socket()
    dport = int(plan.get("port", PORT))
    packets = [udp_packet(src, target, payload, dport=dport)
               for payload, src in build_packets(plan)]
    destination = (target, 0)
    batch = max(1, int(rate / 200))
    # With a chunk, the flood waits after every chunk until the copy answers
    # a link check from this host's own address, so that the copy's queue
    # never holds more than a chunk.
    chunk = int(plan.get("chunk", 0))
    checker = None
    if chunk:
        batch = min(batch, chunk)
        checker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        checker.bind(("0.0.0.0", PORT))
    start = begun = time.monotonic()
    sent = 0
    send = sock.sendto
    for offset in range(0, len(packets), batch):
        if chunk and offset and offset % chunk < batch:
            caught_up(checker, target)
            start = time.monotonic() - sent / rate
        for packet in packets[offset:offset + batch]:
            while True:
                try:
                    send(packet, destination)
                    break
                except BlockingIOError:
                    time.sleep(0.0005)
                except OSError as error:  # ENOBUFS: the device queue is full
                    if error.errno != 105:
                        raise
                    time.sleep(0.0005)
        sent += min(batch, len(packets) - offset)
        ahead = start + sent / rate - time.monotonic()
        if ahead > 0:
            time.sleep(ahead)
    print(json.dumps({"sent": sent, "seconds": round(time.monotonic() - begun, 2)}), flush=True)


def caught_up(sock: socket.socket, target: str, timeout: float = 60.0) -> None:
    """Waits until the copy answers a link check: it has handled what came before."""
    sock.settimeout(0.5)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        sock.sendto(PREFIX + b"AUTODETECT1", (target, PORT))
        try:
            while True:
                data, (host, _port) = sock.recvfrom(4096)
                if host == target and data.startswith(PREFIX + b"MYNAMEIS1:"):
                    return
        except socket.timeout:
            pass
    raise SystemExit(f"{target} answered no link check within {timeout:.0f} s")


def ping(target: str, interval: float, seconds: float) -> None:
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", PORT))
    request = PREFIX + b"AUTODETECT1"
    # Not timed: the first answer, which says the copy is up.
    sock.settimeout(0.1)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        sock.sendto(request, (target, PORT))
        try:
            if sock.recvfrom(4096)[0].startswith(PREFIX + b"MYNAMEIS1:"):
                break
        except socket.timeout:
            pass
    time.sleep(0.3)
    sock.setblocking(False)
    try:
        while True:
            sock.recvfrom(4096)
    except BlockingIOError:
        pass
    print(json.dumps({"ready": True}), flush=True)
    open_requests: list[float] = []
    samples = []
    sent = 0
    start = time.monotonic()
    next_send = start
    end = start + seconds
    while True:
        now = time.monotonic()
        if now < end and now >= next_send:
            sock.sendto(request, (target, PORT))
            open_requests.append(now)
            sent += 1
            next_send += interval
        if now >= end + 3.0:
            break
        try:
            while True:
                data, _ = sock.recvfrom(4096)
                if data.startswith(PREFIX + b"MYNAMEIS1:") and open_requests:
                    asked = open_requests.pop(0)
                    samples.append([round(asked - start, 2), round(time.monotonic() - asked, 3)])
        except BlockingIOError:
            pass
        time.sleep(0.005)
    latencies = [latency for _, latency in samples]
    late = sum(1 for latency in latencies if latency > 0.5) + len(open_requests)
    print(json.dumps({"sent": sent, "answered": len(samples),
                      "worst": max(latencies) if latencies else None, "late": late,
                      "samples": samples}), flush=True)


RECEIPT = re.compile(rb"(.*?)([0-9A-F]{8})\Z", re.S)
TAGGED = re.compile(rb"\0VSID:([0-9A-F]{8})\Z")


def forge_receipts(interface: str, own: str, victim: str) -> None:
    """Everything this host's copy confirms, confirmed again from the victim's
    address; the ids around it too, in case ids are merely counted up."""
    sniff = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    sniff.bind((interface, 0))
    raw = raw_socket()
    print(json.dumps({"ready": True}), flush=True)
    tagged_seen = set()
    while True:
        frame, (_ifname, _proto, pkttype, _hatype, _addr) = sniff.recvfrom(65535)
        if len(frame) < 42 or frame[12:14] != b"\x08\x00":
            continue
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        if ip[9] != socket.IPPROTO_UDP:
            continue
        src, dst = socket.inet_ntoa(ip[12:16]), socket.inet_ntoa(ip[16:20])
        total = struct.unpack("!H", ip[2:4])[0]
        sport, dport, length = struct.unpack("!HHH", ip[header:header + 6])
        payload = ip[header + 8:min(total, header + length)]
        if pkttype != PACKET_OUTGOING and dst == own:
            tail = TAGGED.search(payload)
            if tail:
                tagged_seen.add(tail.group(1))
            continue
        if pkttype != PACKET_OUTGOING or src != own or not payload.startswith(PREFIX):
            continue
        found = RECEIPT.match(payload)
        if found is None or found.group(2) not in tagged_seen:
            continue
        head, line_id = found.group(1), int(found.group(2), 16)
        for near in range(-8, 9):
            forged = head + b"%08X" % ((line_id + near) & 0xFFFFFFFF)
            raw.sendto(udp_packet(victim, dst, forged, sport, dport), (dst, 0))
        print(json.dumps({"forged": found.group(2).decode(), "to": dst, "port": dport,
                          "t": time.monotonic()}), flush=True)


def listen(interface: str, own: str) -> None:
    """Every UDP datagram that arrives at own, from the device (before any
    firewall of this namespace), as {"t", "src", "sport", "dport", "hex"}."""
    sniff = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    sniff.bind((interface, 0))
    print(json.dumps({"ready": True}), flush=True)
    while True:
        frame, (_ifname, _proto, pkttype, _hatype, _addr) = sniff.recvfrom(65535)
        if pkttype == PACKET_OUTGOING or len(frame) < 42 or frame[12:14] != b"\x08\x00":
            continue
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        if ip[9] != socket.IPPROTO_UDP or socket.inet_ntoa(ip[16:20]) != own:
            continue
        total = struct.unpack("!H", ip[2:4])[0]
        sport, dport, length = struct.unpack("!HHH", ip[header:header + 6])
        payload = ip[header + 8:min(total, header + length)]
        print(json.dumps({"t": time.monotonic(), "src": socket.inet_ntoa(ip[12:16]),
                          "sport": sport, "dport": dport, "hex": payload.hex()}), flush=True)


def ask(target: str, timeout: float) -> None:
    """Link checks every 0.2 s until one is answered; prints {"answered": s}
    (seconds from the first request, null when none came within timeout)."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", PORT))
    sock.settimeout(0.2)
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        sock.sendto(PREFIX + b"AUTODETECT1", (target, PORT))
        try:
            while True:
                data, (host, _port) = sock.recvfrom(4096)
                if host == target and data.startswith(PREFIX + b"MYNAMEIS1:"):
                    print(json.dumps({"answered": round(time.monotonic() - start, 3)}),
                          flush=True)
                    return
        except socket.timeout:
            pass
    print(json.dumps({"answered": None}), flush=True)


def main() -> int:
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "ping" and len(sys.argv) == 5:
        ping(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]))
    elif command == "flood" and len(sys.argv) == 3:
        flood(sys.argv[2])
    elif command == "listen" and len(sys.argv) == 4:
        listen(sys.argv[2], sys.argv[3])
    elif command == "ask" and len(sys.argv) == 4:
        ask(sys.argv[2], float(sys.argv[3]))
    elif command == "forge-receipts" and len(sys.argv) == 5:
        forge_receipts(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
