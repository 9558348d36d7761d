#!/usr/bin/env python3
"""Compares the rates a kestrum-probe log reports with the traffic that was sent.

check_rates.py PROBE_LOG PLAN TOLERANCE_PERCENT

Each PLAN line: DIRECTION(rx|tx) START_LINE END_LINE COUNTED_BYTES DATAGRAMS SECONDS, where the
log lines after START_LINE up to END_LINE were printed while the traffic was sent, and
COUNTED_BYTES is what the gateway's WAN interface counted meanwhile.
"""
import re
import sys

LINE = re.compile(r'^(\d+) status="(.*)" rx=(\d+|-) tx=(\d+|-) rx_total=(\d+) tx_total=(\d+)$')
PAYLOAD = 1000
FRAMING = 42  # Ethernet, IPv4 and UDP headers: the counters are Ethernet-level
SETTLE_MS = 1000  # intervals that start this soon after the traffic began are left out


def parse(path):
    entries = []
    with open(path, encoding="latin-1") as log:
        for text in log:
            match = LINE.match(text.rstrip("\n"))
            if not match:
                sys.exit(f"unexpected probe output: {text!r}")
            time, _, rx, tx = match.group(1, 2, 3, 4)
            entries.append((int(time), None if rx == "-" else int(rx), None if tx == "-" else int(tx)))
    return entries


def interval_rates(entries, first, last):
    """(start, end, rx, tx) of each rate line in entries[first:last], measured from the
    previous stored sample (the previous line with rates, or the first sample before it)."""
    result = []
    previous = None
    for index, (time, rx, tx) in enumerate(entries):
        if rx is not None and previous is not None and first <= index < last:
            result.append((previous, time, rx, tx))
        if rx is not None or previous is None:
            previous = time
    return result


def main(log_path, plan_path, tolerance):
    entries = parse(log_path)
    failed = False
    with open(plan_path) as plan:
        for line in plan:
            direction, start, end, counted, datagrams, seconds = line.split()
            start, end, counted = int(start), int(end), int(counted)
            datagrams, seconds = int(datagrams), float(seconds)
            phase = entries[start:end]
            if len(phase) < 2:
                sys.exit(f"{direction}: the probe printed nothing while the traffic ran")
            begin, finish = phase[0][0] + SETTLE_MS, phase[-1][0]
            intervals = [i for i in interval_rates(entries, start, end) if i[0] >= begin and i[1] <= finish]
            if not intervals:
                sys.exit(f"{direction}: no full interval while the traffic ran")
            span = sum(e - s for s, e, _, _ in intervals)
            reported_rx = sum(rx * (e - s) for s, e, rx, _ in intervals) / span
            reported_tx = sum(tx * (e - s) for s, e, _, tx in intervals) / span
            reported, other = (reported_rx, reported_tx) if direction == "rx" else (reported_tx, reported_rx)
            expected = counted / (seconds * 1000)  # bytes per millisecond = thousands per second
            difference = 100 * (reported - expected) / expected
            name = "received" if direction == "rx" else "sent"
            print(f"  {name}: reported {reported:.1f} KB/s over {span / 1000:.1f} s, expected "
                  f"{expected:.1f} KB/s ({counted} bytes counted on the WAN interface in {seconds:.3f} s; "
                  f"{datagrams} datagrams of {PAYLOAD} bytes sent, {datagrams * (PAYLOAD + FRAMING)} "
                  f"bytes with framing); difference {difference:+.2f}%; other direction {other:.1f} KB/s")
            if abs(difference) > tolerance or other > expected * 0.01 + 2:
                failed = True
                print(f"  {name}: OUT OF TOLERANCE ({tolerance}%)")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], float(sys.argv[3])))
