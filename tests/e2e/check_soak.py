#!/usr/bin/env python3
"""Judges a soak run of the program.

check_soak.py SAMPLES WATCH_LOG EVENTS FRIENDLY_NAME LARGEST_PAYLOAD_RATE

SAMPLES: lines "UNIX_MS gdi=N user=N handles=N rss_kb=N private_kb=N cpu_ms=N", one per 10 s.
WATCH_LOG: lines "UNIX_MS status="..." rx=N tx=N", the window read every 100 ms.
EVENTS: lines "UNIX_MS text": "soak start", "gateway stop", "gateway start", "tray icon back",
"soak end".
LARGEST_PAYLOAD_RATE: the largest rate of either direction, in payload bytes per second.

Prints the first, last and largest value of each sample. Fails when, once the first minute and the
events are behind (warm-up), a count grew by more than its bound or the memory by more than about
1 KB a minute; when the window
shows a rate above the traffic sent; or when the status line did not go back to searching while
the gateway was away and to the gateway's name after it came back.
"""
import re
import sys

SAMPLE = re.compile(r"^(\d+) gdi=(-?\d+) user=(\d+) handles=(\d+) rss_kb=(\d+) private_kb=(\d+) "
                    r"cpu_ms=(\d+)$")
READING = re.compile(r'^(\d+) status="(.*)" rx=(\d+) tx=(\d+)$')
LOOKING = "Looking for an UPnP gateway..."
WARM_UP_MS = 60_000
SETTLE_MS = 30_000
# Counts may move by a few while a reading or a search holds a socket or a timer; the tray keeps
# one icon (two bitmaps) per traffic level, loaded when that level first shows.
COUNT_BOUNDS = {"gdi": 24, "user": 4, "handles": 16}
# The heap grows in steps of pages; a step or two is no leak.
MEMORY_KB_PER_MINUTE = 1
MEMORY_STEP_KB = 16
# Ethernet-level bytes per 1000-byte datagram (the counters count frames).
WIRE_PER_PAYLOAD = 1042 / 1000
# A rate divides the bytes between two readings of a counter by the time between them, each
# reading stamped when its answer arrives. On a busy machine an answer can come a good part of a
# poll late, so a refresh can show up to about twice the true rate; more is a spike no timing
# explains, such as the bytes of a stall shown over one refresh.
SPIKE_FACTOR = 2
SPIKE_SLACK_KB = 10


def read(path, pattern):
    with open(path, encoding="utf-8") as lines:
        matches = [pattern.match(line.rstrip("\n")) for line in lines]
    if not all(matches):
        sys.exit(f"{path}: unexpected line")
    return [m.groups() for m in matches]


def check_samples(samples, warm, failures):
    names = ["gdi", "user", "handles", "rss_kb", "private_kb", "cpu_ms"]
    rows = [{"time": int(s[0]), **{n: int(v) for n, v in zip(names, s[1:])}} for s in samples]
    settled = [r for r in rows if r["time"] >= warm]
    if len(settled) < 2:
        sys.exit("fewer than two samples after the warm-up")
    print(f"{len(rows)} samples, {len(settled)} after the warm-up:")
    for name in names:
        values = [r[name] for r in rows]
        print(f"  {name:10} first {values[0]:>9}  last {values[-1]:>9}  largest {max(values):>9}")
    base, last = settled[0], settled[-1]
    for name, bound in COUNT_BOUNDS.items():
        grown = max(r[name] for r in settled) - base[name]
        if grown > bound:
            failures.append(f"{name} grew by {grown} after the warm-up (bound {bound})")
    minutes = (last["time"] - base["time"]) / 60_000
    memory = "rss_kb" if base["rss_kb"] else "private_kb"
    grown = last[memory] - base[memory]
    allowed = MEMORY_KB_PER_MINUTE * minutes + MEMORY_STEP_KB
    print(f"  {memory} after the warm-up: {grown:+d} KB in {minutes:.1f} minutes "
          f"({grown / minutes:+.2f} KB a minute); allowed {allowed:.0f} KB")
    if grown > allowed:
        failures.append(f"{memory} grew by {grown} KB in {minutes:.1f} minutes")
    cpu = (last["cpu_ms"] - rows[0]["cpu_ms"]) / ((last["time"] - rows[0]["time"]) / 3_600_000)
    print(f"  CPU at a 100 ms refresh: {cpu / 1000:.0f} CPU-s per hour")


def check_window(readings, events, name, largest_rate, failures):
    limit = SPIKE_FACTOR * largest_rate * WIRE_PER_PAYLOAD / 1000 + SPIKE_SLACK_KB
    soak = [r for r in readings if events["soak start"] <= int(r[0]) <= events["soak end"]]
    top = max(soak, key=lambda r: max(int(r[2]), int(r[3])))
    print(f"window: {len(soak)} readings; largest rx={top[2]} tx={top[3]} KB/s; "
          f"largest rate sent {largest_rate * WIRE_PER_PAYLOAD / 1000:.0f} KB/s; "
          f"spike above {limit:.0f}")
    spikes = [r for r in soak if max(int(r[2]), int(r[3])) > limit]
    if spikes:
        failures.append(f"{len(spikes)} readings above {limit:.0f} KB/s, first at {spikes[0][0]}")
    stop, start = events["gateway stop"], events["gateway start"]
    searching = [int(r[0]) for r in soak if int(r[0]) >= stop and r[1] == LOOKING]
    if not searching:
        failures.append("the status line did not go back to searching while the gateway was away")
        return
    found = [int(r[0]) for r in soak if int(r[0]) > max(searching[0], start) and r[1] == name]
    if not found:
        failures.append(f'the status line did not show "{name}" again')
        return
    print(f"gateway away: searching {(searching[0] - stop) / 1000:.1f} s after the stop, "
          f'"{name}" {(found[0] - start) / 1000:.1f} s after the start')


def main(samples_path, watch_path, events_path, name, largest_rate):
    events = {}
    with open(events_path, encoding="utf-8") as lines:
        for line in lines:
            time, text = line.rstrip("\n").split(" ", 1)
            events[text.split(":")[0]] = int(time)
    failures = []
    warm = max(events["soak start"] + WARM_UP_MS, events["tray icon back"] + SETTLE_MS)
    check_samples(read(samples_path, SAMPLE), warm, failures)
    check_window(read(watch_path, READING), events, name, largest_rate, failures)
    for failure in failures:
        print(f"  FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:5], int(sys.argv[5])))
