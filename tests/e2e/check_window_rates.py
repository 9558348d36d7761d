#!/usr/bin/env python3
"""Compares the readouts of the program's window with the traffic that was sent.

check_window_rates.py WATCH_LOG PLAN FRIENDLY_NAME TOLERANCE_PERCENT

WATCH_LOG: lines "UNIX_MS status="..." rx=N tx=N", the window's status line and readouts as
kestrum-window-reader read them every 100 ms. Each PLAN line: DIRECTION(rx|tx) START_MS END_MS
BEFORE AFTER DATAGRAMS SECONDS: the traffic ran between START_MS and END_MS, and the WAN
interface's counter for that direction went from BEFORE to AFTER while DATAGRAMS datagrams were
sent in SECONDS. Only the readings of the phase's steady middle count: the readouts lag the
traffic by up to a refresh period and a poll.
"""
import re
import sys

LINE = re.compile(r'^(\d+) status="(.*)" rx=(\d+) tx=(\d+)$')
MARGIN_MS = 2000


def parse(path):
    readings = []
    with open(path, encoding="utf-8") as log:
        for text in log:
            match = LINE.match(text.rstrip("\n"))
            if not match:
                sys.exit(f"unexpected reader output: {text!r}")
            time, status, rx, tx = match.groups()
            readings.append({"time": int(time), "status": status, "rx": int(rx), "tx": int(tx)})
    return readings


def main(log_path, plan_path, friendly_name, tolerance):
    readings = parse(log_path)
    failed = False
    with open(plan_path) as plan:
        for line in plan:
            direction, start, end, before, after, datagrams, seconds = line.split()
            start, end, counted = int(start), int(end), int(after) - int(before)
            steady = [r for r in readings if start + MARGIN_MS <= r["time"] <= end - MARGIN_MS]
            name = "received" if direction == "rx" else "sent"
            if len(steady) < 10:
                sys.exit(f"{name}: only {len(steady)} readings while the traffic ran")
            other_direction = "tx" if direction == "rx" else "rx"
            shown = sum(r[direction] for r in steady) / len(steady)
            other = sum(r[other_direction] for r in steady) / len(steady)
            expected = counted / (float(seconds) * 1000)  # bytes per ms = thousands per second
            difference = 100 * (shown - expected) / expected
            names = {r["status"] for r in steady}
            print(f"  {name}: readout {shown:.1f} KB/s on average over {len(steady)} readings, "
                  f"expected {expected:.1f} KB/s ({counted} bytes in {float(seconds):.3f} s); "
                  f"difference {difference:+.2f}%; other readout {other:.1f}; status {sorted(names)}")
            if abs(difference) > tolerance or other > expected * 0.01 + 2:
                failed = True
                print(f"  {name}: OUT OF TOLERANCE ({tolerance}%)")
            if names != {friendly_name}:
                failed = True
                print(f"  {name}: the status line did not show \"{friendly_name}\"")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])))
