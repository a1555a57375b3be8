#!/usr/bin/env python3
"""What the scale benchmark reads from its capture: frames to records, and the
removal of a killed copy, on hand-made records (no namespaces needed)."""
import os
import socket
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scale_network as sn  # noqa: E402
from scale_network import Datagram, PREFIX  # noqa: E402


def frame(src: int, dst: int, dport: int, payload: bytes, options: bytes = b"") -> bytes:
    header = struct.pack("!BBHHHBBH4s4s", 0x45 + len(options) // 4, 0,
                         20 + len(options) + 8 + len(payload), 0, 0, 64, 17, 0,
                         socket.inet_aton(sn.address(src)), socket.inet_aton(sn.address(dst)))
    udp = struct.pack("!HHHH", dport, dport, 8 + len(payload), 0) + payload
    # Ethernet pads short frames: the padding is not payload.
    return b"\x02" * 12 + b"\x08\x00" + header + options + udp + b"\0" * 6


def gone(host: int) -> bytes:
    return PREFIX + b"VSGONE:" + socket.inet_aton(sn.address(host)).hex().upper().encode()


def ping(nonce: int) -> bytes:
    return PREFIX + b"VSPING:" + f"{nonce:08X}".encode()


class Frames(unittest.TestCase):
    def test_frames_become_records_in_order(self):
        stamp = struct.pack("qq", 1000, 500_000_000)
        ancillary = [(socket.SOL_SOCKET, sn.SO_TIMESTAMPNS, stamp)]
        frames = [frame(1, 2, 334, ping(7)), frame(3, 1, 333, b"", options=b"\x01" * 4),
                  frame(2, 1, 53, b"not ours")]
        with tempfile.NamedTemporaryFile() as out:
            for raw in frames:
                out.write(sn.parse_frame(raw, ancillary))
            out.flush()
            records = sn.Capture(out.name).update()
        self.assertEqual(records, [Datagram(1000.5, 1, 2, 334, ping(7)),
                                   Datagram(1000.5, 3, 1, 333, b"")])


class Removals(unittest.TestCase):
    survivors = {1, 2, 3}

    def test_notice_sent_or_checked(self):
        records = [
            Datagram(5.0, 1, 4, 334, ping(1)),      # before the kill: not a removal
            Datagram(130.0, 2, 3, 334, gone(4)),    # 2 found it gone
            Datagram(130.0, 2, 1, 334, gone(4)),
            Datagram(130.5, 3, 4, 334, ping(2)),    # 3 checks the claim
            Datagram(131.5, 3, 4, 334, ping(3)),
            Datagram(140.0, 1, 3, 334, gone(5)),    # names another host
        ]
        found = sn.removals(records, 4, self.survivors, killed=100.0, now=200.0)
        self.assertEqual(found, {2: (130.0, "gone notice sent"),
                                 3: (133.5, "checked a gone notice")})

    def test_last_probe_before_a_long_gap_when_nobody_sends_notices(self):
        probes = [Datagram(t, 1, 4, 333, PREFIX + b"MYNAMEIS2:A") for t in (130, 140, 150, 210)]
        probes += [Datagram(t, 2, 4, 333, PREFIX + b"MYNAMEIS2:B") for t in (90, 135, 145)]
        found = sn.removals(probes, 4, self.survivors, killed=100.0, now=180.0)
        # 2's last probe is only 35 s old: not yet known to be the last.
        self.assertEqual(found, {1: (150, "last probe")})
        found = sn.removals(probes, 4, self.survivors, killed=100.0, now=200.0)
        self.assertEqual(found, {1: (150, "last probe"), 2: (145, "last probe")})


class Reach(unittest.TestCase):
    def test_receipts_count_only_for_the_id_sent_to_that_copy(self):
        line = sn.cp1251("КОПИЯ001: привет")
        records = [
            Datagram(10.0, 1, 2, 333, line + b"\0VSID:0000000A"),
            Datagram(10.0, 1, 3, 333, line + b"\0VSID:0000000B"),
            Datagram(10.0, 1, 4, 333, line),                        # an older copy
            Datagram(10.1, 2, 1, 334, PREFIX + b"VSACK:0000000A"),
            Datagram(10.1, 4, 1, 334, PREFIX + b"VSACK:0000000B"),  # 3's id, from 4
        ]
        reached, confirmed = sn.chat_reach(records, 1, "КОПИЯ001: привет", 9.0)
        self.assertEqual((reached, confirmed), ({2, 3, 4}, {2}))

    def test_quiet_needs_a_whole_calm_window(self):
        records = [Datagram(t / 10, 1, 2, 334, b"") for t in range(0, 100)]   # 10 a second
        records += [Datagram(20.0, 1, 2, 334, b"")]
        self.assertEqual(sn.quiet_from(records, 0.0, 40.0, limit_per_second=1.0), 10.0)
        self.assertIsNone(sn.quiet_from(records, 0.0, 14.0, limit_per_second=1.0))


if __name__ == "__main__":
    unittest.main()
