#!/usr/bin/env python3
"""Checks the rates a kestrum-probe log reports while traffic of known rate ran the whole time.

check_modes.py rates MODE PROBE_LOG PLAN
    Every update of the log was taken while both directions carried traffic (PLAN lines as
    send_phase writes them). Per direction, from its first rate above 0 on (before it the meter
    has no second reading to measure with): the median within 2 % of the true rate, no update
    above twice the true rate, at most 5 % of updates below half of it. Prints one table row per
    direction.

check_modes.py refused MODE PROBE_LOG NAME
    The status shows NAME with the refused hint, and once the gateway was found the status never
    goes back to the search.
"""
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_rates import parse  # noqa: E402  (shares the probe log's format)

MEDIAN_TOLERANCE = 0.02
LOW_SHARE = 0.05
LOOKING = "Looking for an UPnP gateway..."
REFUSED_HINT = " (counters refused)"
HEADER = (f"{'mode':<12} {'dir':<3} {'true':>7} {'median':>7} {'diff':>7} {'min':>6} "
          f"{'max':>6} {'updates':>7} {'<half':>5} {'>2x':>4}")


def true_rates(plan_path):
    rates = {}
    with open(plan_path) as plan:
        for line in plan:
            direction, before, after, _, seconds = line.split()
            rates[direction] = (int(after) - int(before)) / (float(seconds) * 1000)
    return rates


def check_rates(mode, log_path, plan_path):
    entries = [entry for entry in parse(log_path) if entry["rx"] is not None]
    failed = False
    for direction, expected in sorted(true_rates(plan_path).items()):
        values = [entry[direction] for entry in entries]
        first = next((i for i, value in enumerate(values) if value > 0), None)
        if first is None:
            print(f"{mode:<12} {direction:<3} {expected:7.1f}  no rate above 0: FAILED")
            failed = True
            continue
        shown = values[first:]
        median = statistics.median(shown)
        difference = (median - expected) / expected
        low = sum(1 for value in shown if value < expected / 2)
        high = sum(1 for value in shown if value > 2 * expected)
        problems = []
        if abs(difference) > MEDIAN_TOLERANCE:
            problems.append("median")
        if high:
            problems.append("above twice")
        if low > LOW_SHARE * len(shown):
            problems.append("below half")
        if len(shown) < 10:
            problems.append("too few updates")
        print(f"{mode:<12} {direction:<3} {expected:7.1f} {median:7.1f} {100 * difference:+6.2f}% "
              f"{min(shown):6d} {max(shown):6d} {len(shown):7d} {low:5d} {high:4d}"
              + (f"  FAILED: {', '.join(problems)}" if problems else ""))
        failed = failed or bool(problems)
    return 1 if failed else 0


def check_refused(mode, log_path, name):
    entries = parse(log_path)
    statuses = [entry["status"] for entry in entries]
    hinted = sum(1 for status in statuses if status == name + REFUSED_HINT)
    found = next((i for i, status in enumerate(statuses) if status.startswith(name)), None)
    lost = found is not None and LOOKING in statuses[found:]
    seconds = entries[-1]["time"] / 1000 if entries else 0
    problems = []
    if not hinted:
        problems.append("no refused hint")
    if found is None or lost:
        problems.append("gateway not found" if found is None else "gateway lost")
    print(f"{mode:<12} {len(statuses)} updates over {seconds:.0f} s, {hinted} with the hint "
          f"\"{name}{REFUSED_HINT}\", gateway {'lost' if lost else 'never lost'}"
          + (f"  FAILED: {', '.join(problems)}" if problems else ""))
    return 1 if problems else 0


def main(args):
    if len(args) == 5 and args[1] == "rates":
        return check_rates(args[2], args[3], args[4])
    if len(args) == 5 and args[1] == "refused":
        return check_refused(args[2], args[3], args[4])
    if len(args) == 2 and args[1] == "header":
        print(HEADER)
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
