#!/usr/bin/python3
"""The cost of calling the gauge library from Python, beside the C call.

Protocol: the 200 x 20 caliper of gauge_bench's BM_Caliper200x20 (one edge,
levels 80 and 180, blur sigma 1, noise sigma 2, on a 260 x 120 grey picture;
the caliper centred on (130, 60), axis-aligned and turned 0.1 rad, the
strongest edge) called through qgauge.edges on the same render made here
in numpy. Python: timeit, 7 repeats of at least 0.2 s each, the least
time a call of the repeats, by the wall clock and by the thread's CPU time.
C: gauge_bench --benchmark_filter=Caliper200x20 with 7 repetitions, the
least real and CPU times of the repetitions (when --c-bench names the
program). The least of the repeats is the one other work disturbed least.
The overhead is (Python - C) / C, for each clock; on a machine shared with
other work the CPU times are the ones to compare (the wall clock counts the
waits).

  PYTHONPATH=build/python /usr/bin/python3 bench/python_call_bench.py \\
      [--c-bench build-bench/bench/gauge_bench]
"""

import argparse
import json
import math
import os
import subprocess
import time
import timeit

import numpy as np

import qgauge


def edge_scene():
    """gauge_bench's edge scene: exact half-plane coverage, blurred, noisy, 8 bits."""
    h, w, s = 120, 260, 16
    nx, ny = math.cos(0.1), math.sin(0.1)
    k = nx * 130.3 + ny * 60.2
    xs = (np.arange(w * s) + 0.5) / s
    ys = (np.arange(h * s) + 0.5) / s
    x, y = np.meshgrid(xs, ys)
    cover = (nx * x + ny * y > k).reshape(h, s, w, s).mean(axis=(1, 3))
    v = 80 + 100 * cover
    radius = 4
    t = np.arange(-radius, radius + 1)
    kernel = np.exp(-0.5 * t * t)
    kernel /= kernel.sum()
    pad = np.pad(v, radius, mode="edge")
    v = np.apply_along_axis(lambda r: np.convolve(r, kernel, "valid"), 1, pad)
    v = np.apply_along_axis(lambda c: np.convolve(c, kernel, "valid"), 0, v)
    v += np.random.default_rng(1).normal(0, 2, v.shape)
    return np.ascontiguousarray(np.clip(np.rint(v), 0, 255).astype(np.uint8))


def python_times(image, angle):
    dx, dy = 100 * math.cos(angle), 100 * math.sin(angle)
    p0, p1 = (130 - dx, 60 - dy), (130 + dx, 60 + dy)
    call = lambda: qgauge.edges(image, p0, p1, 20, select="strongest")  # noqa: E731
    assert len(call()) == 1
    times = []
    for clock in (time.perf_counter, time.thread_time):
        timer = timeit.Timer(call, timer=clock)
        number, _ = timer.autorange()
        number = max(number, int(number * 0.2 / max(timer.timeit(number), 1e-9)))
        times.append(min(timer.repeat(7, number)) / number)
    return times


def c_times(program):
    out = subprocess.run([program, "--benchmark_filter=Caliper200x20", "--benchmark_repetitions=7",
                          "--benchmark_format=json"], env=dict(os.environ, GAUGE_TRIALS="0"),
                         capture_output=True, text=True, check=True).stdout
    rows = json.loads(out)["benchmarks"]
    unit = {"us": 1e-6, "ns": 1e-9, "ms": 1e-3}
    least = {}
    for r in rows:
        if r.get("run_type") != "iteration":
            continue
        times = [r["real_time"] * unit[r["time_unit"]], r["cpu_time"] * unit[r["time_unit"]]]
        best = least.setdefault(r["run_name"], times)
        least[r["run_name"]] = [min(a, b) for a, b in zip(best, times)]
    return least["BM_Caliper200x20/0"], least["BM_Caliper200x20/1"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--c-bench", help="the gauge_bench program, for the C times beside")
    args = parser.parse_args()
    image = edge_scene()
    c = c_times(args.c_bench) if args.c_bench else (None, None)
    print(f"{'caliper 200 x 20':18} {'clock':5} {'Python us':>10} {'C us':>8} {'overhead':>9}")
    for label, angle, c_time in (("axis-aligned", 0.0, c[0]), ("oblique 0.1 rad", 0.1, c[1])):
        for clock, py, cc in zip(("real", "cpu"), python_times(image, angle), c_time or (None, None)):
            row = f"{label:18} {clock:5} {py * 1e6:10.2f}"
            if cc:
                row += f" {cc * 1e6:8.2f} {100 * (py - cc) / cc:8.1f}%"
            print(row)


if __name__ == "__main__":
    main()
