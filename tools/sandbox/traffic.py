#!/usr/bin/env python3
"""Bounded UDP traffic for the end-to-end test.

sink PORT SECONDS               drain datagrams on PORT for at most SECONDS
send HOST PORT PAYLOAD RATE SECONDS
                                send PAYLOAD-byte datagrams at RATE payload bytes per second
                                for SECONDS, then print the count sent and the time taken
"""
import socket
import sys
import time

MAX_SECONDS = 60


def sink(port, seconds):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", port))
    sock.settimeout(0.2)
    deadline = time.monotonic() + min(seconds, MAX_SECONDS)
    while time.monotonic() < deadline:
        try:
            sock.recv(65535)
        except socket.timeout:
            pass


def send(host, port, payload, rate, seconds):
    seconds = min(seconds, MAX_SECONDS)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    data = b"k" * payload
    interval = payload / rate
    limit = int(rate * seconds / payload)
    start = time.monotonic()
    sent = 0
    while sent < limit:
        # Pace against the start time so that sleeping late does not slow the average rate.
        due = start + sent * interval
        now = time.monotonic()
        if due > now:
            time.sleep(due - now)
        sock.sendto(data, (host, port))
        sent += 1
    print(sent, round(time.monotonic() - start, 3))


def main(args):
    if len(args) == 3 and args[0] == "sink":
        sink(int(args[1]), float(args[2]))
    elif len(args) == 6 and args[0] == "send":
        send(args[1], int(args[2]), int(args[3]), float(args[4]), float(args[5]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
