#!/usr/bin/env python3
"""Accuracy of snap-to-edge measuring and of the diameter gauge on the
virtual camera's synthetic scene (640 x 480, sensor noise on).

Runs orvane-batch on a generated script: a fresh picture is grabbed for
every trial, the clicks are whole image pixels placed at random near the
true edges, and the results table (printed as CSV) gives the values. The
station is left uncalibrated, so every value is in pixels.

  bar      the 6-unit bar's length (truth 6 x 80/3 = 160 px) between two
           clicks within +-3 px of its left and right edges, with and
           without snapping; `--rows same` puts both clicks on one row,
           `--rows independent` gives each click its own +-3 px row offset
  disc     the 4-unit disc's diameter (truth 4 x 80/3 = 106.667 px) from
           three Alt-clicks within +-3 px of its rim, about 120 degrees apart

usage: results_accuracy.py --batch build/batch/orvane-batch [--trials 50] [--seed 1]
"""
import argparse
import csv
import io
import math
import os
import random
import statistics
import subprocess
import tempfile

WIDTH, HEIGHT = 640, 480
UNIT = WIDTH / 8.0 / 3.0
BAR_X, BAR_Y, BAR_HALF = 0.72 * WIDTH, 0.28 * HEIGHT, 3.0 * UNIT
DISC_X, DISC_Y, DISC_R = 0.62 * WIDTH, 0.72 * HEIGHT, 2.0 * UNIT
# The scene paints a pixel when its centre lies inside a shape; the station's
# whole pixel x is that centre, so a boundary lies at (pixel edge) - 0.5.
LEFT_EDGE = BAR_X - BAR_HALF - 0.5
RIGHT_EDGE = BAR_X + BAR_HALF - 0.5


def run(batch, lines):
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "accuracy.txt")
        with open(script, "w") as f:
            f.write("\n".join(lines) + "\n")
        env = dict(os.environ, ORVANE_VIRTUAL_CAMERA="scene")
        out = subprocess.run([batch, "-C", folder, "--fixed-clock", script], env=env,
                             stdout=subprocess.PIPE, check=True).stdout.decode()
    start = out.index("No.,")
    return list(csv.DictReader(io.StringIO(out[start:], newline="")))


def header(snap):
    return ["start", "solution \"Manual Measurement\"", "snap " + ("on" if snap else "off")]


def bar_script(rng, trials, snap, same_row):
    lines = header(snap)
    for _ in range(trials):
        y0 = round(BAR_Y + rng.uniform(-30, 30))
        y1 = y0 if same_row else y0 + rng.randint(-3, 3)
        y0 = y0 if same_row else y0 + rng.randint(-3, 3)
        x0 = round(LEFT_EDGE + rng.uniform(-3, 3))
        x1 = round(RIGHT_EDGE + rng.uniform(-3, 3))
        lines += ["click grab", "distance 24 ok",
                  f"mouse down {x0} {y0}", f"mouse up {x0} {y0}",
                  f"mouse down {x1} {y1}", f"mouse up {x1} {y1}", "click process"]
    lines.append("results")
    return lines


def disc_script(rng, trials):
    lines = header(False)
    cx, cy = DISC_X - 0.5, DISC_Y - 0.5
    for _ in range(trials):
        lines.append("click grab")
        base = rng.uniform(0, 2 * math.pi)
        for k in range(3):
            a = base + k * 2 * math.pi / 3 + rng.uniform(-0.3, 0.3)
            r = DISC_R + rng.uniform(-3, 3)
            x, y = round(cx + r * math.cos(a)), round(cy + r * math.sin(a))
            lines += [f"mouse down {x} {y} alt", f"mouse up {x} {y}"]
    lines.append("results")
    return lines


def report(name, rows, kind, truth):
    values = [float(r["Value"]) for r in rows if r["Kind"] == kind]
    u = [float(r["Uncertainty (1 s.u.)"]) for r in rows if r["Kind"] == kind and r["Uncertainty (1 s.u.)"]]
    mean = statistics.fmean(values)
    sd = statistics.stdev(values)
    line = (f"{name:34s} n={len(values):3d}  mean={mean:9.4f} px  bias={mean - truth:+8.4f} px "
            f"({100 * (mean - truth) / truth:+.4f} %)  sd={sd:.4f} px")
    if u:
        line += f"  mean reported u={statistics.fmean(u):.4f} px"
    print(line)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--batch", required=True)
    p.add_argument("--trials", type=int, default=50)
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args()
    rng = random.Random(a.seed)
    truth = 2 * BAR_HALF
    print(f"bar truth {truth:.4f} px, disc truth {2 * DISC_R:.4f} px, {a.trials} trials, seed {a.seed}")
    for same in (True, False):
        rows_label = "same row" if same else "rows +-3 px"
        report(f"bar, snap on, {rows_label}", run(a.batch, bar_script(rng, a.trials, True, same)),
               "length", truth)
        report(f"bar, snap off, {rows_label}", run(a.batch, bar_script(rng, a.trials, False, same)),
               "length", truth)
    report("disc, diameter gauge", run(a.batch, disc_script(rng, a.trials)), "diameter", 2 * DISC_R)


if __name__ == "__main__":
    main()
