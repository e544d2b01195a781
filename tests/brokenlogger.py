#!/usr/bin/env python3
"""A logger that misbehaves, on a pseudo-terminal, for the tests: prints the port's path,
then plays MODE until it is ended.

  nmea, noise  a GPS receiver's sentence / random bytes every 100 ms, no answer to anything
  other-kind   every request answered by a well-formed frame of another kind
  endless      greets, then answers the list with a frame announcing 65,535 bytes and sends
               bytes for ever
  more-pages   greets, then every list page says "more from entry 1" and holds nothing
  wrong-acks   greets, reads its settings, answers a settings write with id 0x00 and a
               delete-all with a list's id 0xBB
  bad-values   one track whose block holds a record at an impossible date and one at
               latitude 1900
  merged       two tracks listed; the second's block lacks the start flag
  no-start     one track whose block lacks the start flag
  empty        a logger that holds no tracks
"""
import os
import random
import select
import struct
import sys
import time
import tty

NMEA = b"$GPRMC,081500.00,A,4718.3000,N,00839.7600,E,0.5,0.0,110409,,,A*6C\r\n"


def frame(payload):
    return (b"\xa0\xa2" + struct.pack(">H", len(payload)) + payload +
            struct.pack(">H", sum(payload) & 0x7FFF) + b"\xb0\xb3")


def record(lat, when, date, start=False):
    return struct.pack(">iiIIIiII", lat, 8183000, when | (start << 31), date, 500, 4000000, 0, 2)


def block(records, start):
    # The header holds the first point (log format 2); the records follow, then the end mark.
    data = record(47183000, 81500, 110409, start) + b"".join(records) + b"\xff" * 32
    data += bytes(2048 - len(data))
    return frame(b"\xb5" + data[:1024]) + frame(b"\xb5" + data[1024:])


def listing(mode):
    entries = {"empty": [], "merged": [(0x80000000 | 81500, 110409, 1),
                                       (0x80000000 | 91500, 110409, 2)]}
    entries = entries.get(mode, [(0x80000000 | 81500, 110409, 1)])
    body = b"".join(struct.pack(">III", *e) for e in entries)
    return frame(b"\xbb" + struct.pack(">HH", len(entries), 0) + body)


def answer(mode, command, blocks):
    if mode in ("nmea", "noise"):
        return b""
    if mode == "other-kind":
        return frame(b"\x00\x01")
    replies = {
        0xBF: frame(b"\xbf\x01"),
        0xB7: frame(b"\xb7" + bytes(43)),
        0xB8: frame(b"\x00" + struct.pack(">I", 1)),
        0xBA: frame(b"\xbb" + struct.pack(">I", 1)),
    }
    if command == 0xBB:
        return {"endless": b"\xa0\xa2\xff\xff",
                "more-pages": frame(b"\xbb" + struct.pack(">HH", 0, 1))}.get(mode, listing(mode))
    if command == 0xB5 and mode == "bad-values":
        return block([record(47183100, 81501, 990499), record(2000000000, 81502, 110409)], True)
    if command == 0xB5:
        return block([], mode == "merged" and blocks == 0)
    return replies.get(command, b"")


def main():
    mode = sys.argv[1]
    master, slave = os.openpty()
    tty.setraw(slave)
    print(os.ttyname(slave), flush=True)
    rnd, pending, blocks, endless, last = random.Random(1), b"", 0, False, 0.0
    while True:
        if select.select([master], [], [], 0.02)[0]:
            try:
                pending += os.read(master, 4096)
            except OSError:
                time.sleep(0.02)  # nobody on the line now
        while True:  # the requests that arrived whole
            start = pending.find(b"\xa0\xa2")
            if start < 0 or len(pending) < start + 5:
                break
            n = struct.unpack(">H", pending[start + 2:start + 4])[0]
            if len(pending) < start + 8 + n:
                break
            command, pending = pending[start + 4], pending[start + 8 + n:]
            os.write(master, answer(mode, command, blocks))
            blocks += command == 0xB5
            endless = endless or (mode == "endless" and command == 0xBB)
        if time.time() - last >= 0.1:
            last = time.time()
            chatter = {"nmea": NMEA, "noise": bytes(rnd.randrange(256) for _ in range(64))}
            os.write(master, chatter.get(mode, b""))
        if endless:
            os.write(master, bytes(512))


if __name__ == "__main__":
    main()
