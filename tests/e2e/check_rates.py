#!/usr/bin/env python3
"""Compares the rates a kestrum-probe log reports with the traffic that was sent.

check_rates.py PROBE_LOG PLAN TOLERANCE_PERCENT

Each PLAN line: DIRECTION(rx|tx) BEFORE AFTER DATAGRAMS SECONDS: the WAN interface's counter for
that direction before and after DATAGRAMS datagrams were sent in SECONDS. The probe's intervals
while the traffic ran are found by the counter totals it printed, so that the check does not
depend on when the probe's lines were written.
"""
import re
import sys

LINE = re.compile(r'^(\d+) status="(.*)" rx=(\d+|-) tx=(\d+|-) rx_total=(\d+) tx_total=(\d+)$')
PAYLOAD = 1000
FRAMING = 42  # Ethernet, IPv4 and UDP headers: the counters are Ethernet-level
# Intervals must start after this share of the traffic was counted and end before this share.
FIRST_SHARE = 0.1
LAST_SHARE = 0.98


def parse(path):
    entries = []
    with open(path, encoding="latin-1") as log:
        for text in log:
            match = LINE.match(text.rstrip("\n"))
            if not match:
                sys.exit(f"unexpected probe output: {text!r}")
            time, status, rx, tx, rx_total, tx_total = match.groups()
            entries.append({"time": int(time), "status": status,
                            "rx": None if rx == "-" else int(rx),
                            "tx": None if tx == "-" else int(tx),
                            "rx_total": int(rx_total), "tx_total": int(tx_total)})
    return entries


def intervals(entries):
    """(previous, current) entry of each line with rates: its rates were measured from the
    previous stored sample, which is the previous line with rates or the first sample."""
    result = []
    previous = None
    for entry in entries:
        if entry["rx"] is not None and previous is not None:
            result.append((previous, entry))
        if entry["rx"] is not None or previous is None:
            previous = entry
    return result


def main(log_path, plan_path, tolerance):
    entries = parse(log_path)
    failed = False
    with open(plan_path) as plan:
        for line in plan:
            direction, before, after, datagrams, seconds = line.split()
            before, after, datagrams, seconds = int(before), int(after), int(datagrams), float(seconds)
            counted = after - before
            total = direction + "_total"
            low, high = before + FIRST_SHARE * counted, before + LAST_SHARE * counted
            steady = [(p, c) for p, c in intervals(entries) if p[total] >= low and c[total] <= high]
            if not steady:
                sys.exit(f"{direction}: the probe reported no interval while the traffic ran")
            span = sum(c["time"] - p["time"] for p, c in steady)
            reported = {d: sum(c[d] * (c["time"] - p["time"]) for p, c in steady) / span for d in ("rx", "tx")}
            other = reported["tx" if direction == "rx" else "rx"]
            expected = counted / (seconds * 1000)  # bytes per millisecond = thousands per second
            difference = 100 * (reported[direction] - expected) / expected
            name = "received" if direction == "rx" else "sent"
            print(f"  {name}: reported {reported[direction]:.1f} KB/s over {span / 1000:.1f} s, expected "
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
