#!/usr/bin/env python3
"""A logger that misbehaves, on a pseudo-terminal, for the tests: prints the port's path,
then plays MODE until it is ended.

  nmea         a GPS receiver's sentence every 100 ms, no answer to anything
  noise        random bytes every 100 ms, no answer to anything
  other-kind   every request answered by a well-formed frame of another kind
  endless      greets, then answers the list with a frame announcing 65,535 bytes and
               sends bytes for ever
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


def frame(payload):
    return (b"\xa0\xa2" + struct.pack(">H", len(payload)) + payload +
            struct.pack(">H", sum(payload) & 0x7FFF) + b"\xb0\xb3")


def record(lat, time_, date, start=False):
    return struct.pack(">iiIIIiII", lat, 8183000, time_ | (0x80000000 if start else 0), date,
                       500, 4000000, 0, 2)


def block(records, start):
    # The header holds the first point (and the log format, 2), the rest follow; then the end.
    data = record(47183000, 81500, 110409, start)
    for r in records:
        data += r
    data += b"\xff" * 32
    data += bytes(2048 - len(data))
    return frame(b"\xb5" + data[:1024]) + frame(b"\xb5" + data[1024:])


def listing(mode):
    entries = [(0x80000000 | 81500, 110409, 1)]
    if mode == "merged":
        entries.append((0x80000000 | 91500, 110409, 2))
    if mode == "empty":
        entries = []
    body = b"".join(struct.pack(">III", *e) for e in entries)
    return frame(b"\xbb" + struct.pack(">HH", len(entries), 0) + body)


def data_answer(mode, command):
    if command == 0xBB:
        return listing(mode)
    if command == 0xB5 and mode == "bad-values":
        return block([record(47183100, 81501, 990499), record(2000000000, 81502, 110409)], True)
    if command == 0xB5:
        return block([], mode == "merged" and data_answer.blocks == 0)
    return b""


data_answer.blocks = 0


def answer(mode, command):
    if mode in ("bad-values", "merged", "no-start", "empty"):
        if command == 0xBF:
            return frame(b"\xbf\x01")
        reply = data_answer(mode, command)
        data_answer.blocks += command == 0xB5
        return reply
    if mode in ("nmea", "noise"):
        return b""
    if mode == "other-kind":
        return frame(b"\x00\x01")
    if command == 0xBF:
        return frame(b"\xbf\x01")
    if mode == "endless" and command == 0xBB:
        return b"\xa0\xa2\xff\xff"
    if mode == "more-pages" and command == 0xBB:
        return frame(b"\xbb" + struct.pack(">HH", 0, 1))
    if mode == "wrong-acks" and command == 0xB7:
        return frame(b"\xb7" + bytes(43))
    if mode == "wrong-acks" and command == 0xB8:
        return frame(b"\x00" + struct.pack(">I", 1))
    if mode == "wrong-acks" and command == 0xBA:
        return frame(b"\xbb" + struct.pack(">I", 1))
    return b""


def main():
    mode = sys.argv[1]
    master, slave = os.openpty()
    tty.setraw(slave)
    print(os.ttyname(slave), flush=True)
    rnd = random.Random(1)
    pending = b""
    endless = False
    last = 0.0
    while True:
        ready, _, _ = select.select([master], [], [], 0.02)
        if ready:
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
            command = pending[start + 4]
            pending = pending[start + 8 + n:]
            reply = answer(mode, command)
            endless = endless or (mode == "endless" and command == 0xBB)
            if reply:
                os.write(master, reply)
        now = time.time()
        if now - last >= 0.1:
            last = now
            if mode == "nmea":
                os.write(master, b"$GPRMC,081500.00,A,4718.3000,N,00839.7600,E,0.5,0.0,110409,,,A*6C\r\n")
            elif mode == "noise":
                os.write(master, bytes(rnd.randrange(256) for _ in range(64)))
        if endless:
            os.write(master, bytes(512))


if __name__ == "__main__":
    main()
