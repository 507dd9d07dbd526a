#!/usr/bin/env python3
"""Where a page action's time goes: the bench's trace lines merged with the program's
timing marks.

    ZORVANE_BENCH_TRACE=1 ZORVANE_TIMING_FILE=marks.txt zorvane_bench flips ... > out.txt
    bench/stages.py out.txt marks.txt [--raw-clock]

Each trace line gives an action's input and the moment the page window settled (on
CLOCK_MONOTONIC); the marks between them split it into stages. --raw-clock: the marks
are on CLOCK_MONOTONIC_RAW (the Windows build under Wine, whose performance counter
runs on it), shifted here by the distance between the two clocks now.
"""
import re
import statistics
import sys
import time

# The marks in the order a page change passes them; each stage ends at one.
STAGES = [
    ("input to load", "load"),
    ("file read", "file read"),
    ("part in view decoded", "part in view decoded"),
    ("to loaded", "loaded"),
    ("to paint", "paint"),
    ("render", "painted"),
    ("put to the display", "flushed"),
]

TRACE = re.compile(r"^trace (.+?): input ([\d.]+), first damage (-?[\d.]+), settled (-?[\d.]+)")


def p90(values):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(0.9 * len(ordered)))]


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    offset = 0.0
    if "--raw-clock" in argv[3:]:
        offset = (time.clock_gettime(time.CLOCK_MONOTONIC) - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)) * 1000
    traces = []
    with open(argv[1], encoding="utf-8", errors="replace") as f:
        for line in f:
            m = TRACE.match(line)
            if m and float(m.group(4)) >= 0:
                traces.append((m.group(1), float(m.group(2)), float(m.group(4))))
    marks = []
    with open(argv[2], encoding="utf-8", errors="replace") as f:
        for line in f:
            at, _, rest = line.partition(" ")
            try:
                marks.append((float(at) + offset, rest.strip()))
            except ValueError:
                continue
    marks.sort()

    by_action = {}
    for i, (name, start, settled) in enumerate(traces):
        end = traces[i + 1][1] if i + 1 < len(traces) else float("inf")
        window = [(at, text) for at, text in marks if start <= at < min(end, settled + 1)]
        times = {}
        last = start
        for stage, mark in STAGES:
            hit = next((at for at, text in window if at >= last and (text == mark or text.startswith(mark + " "))), None)
            if hit is not None:
                times[stage] = hit - last
                last = hit
        if "input to load" not in times and "render" not in times:
            continue  # no page change in this action (opacity)
        times["to the damage seen"] = settled - last
        times["total"] = settled - start
        by_action.setdefault(name, []).append(times)

    for name, runs in by_action.items():
        print(f"{name} ({len(runs)}), median / p90 ms:")
        for stage in [s for s, _ in STAGES] + ["to the damage seen", "total"]:
            values = [t[stage] for t in runs if stage in t]
            if values:
                print(f"  {stage:24s} {statistics.median(values):6.1f} / {p90(values):6.1f}"
                      + (f"   ({len(values)} of {len(runs)})" if len(values) != len(runs) else ""))


if __name__ == "__main__":
    main(sys.argv)
