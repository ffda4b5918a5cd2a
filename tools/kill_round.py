#!/usr/bin/env python3
"""The kill round: orvane-batch killed with SIGKILL at random moments while it
writes its settings, solution files, saved pictures (BMP and JPEG) and the DXF
drawing, over and over in one working folder. After every kill each station
file there must be whole; the next run starts on what the kill left, and must
read it without a complaint. Plain python3, no modules beyond the standard
library.

  kill_round.py --batch PATH --samples DIR [--kills N] [--seed S]

Prints the counts (kills, files checked, torn files, temporary files left by
the kills and removed by the next start-up) and ends with status 0 when no
file was ever torn and no temporary file outlived a start-up, 1 otherwise,
77 when the program does not exist (the test is skipped).
"""
import argparse
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
SETTINGS_BYTES = 17400
SOLUTION_BYTES = 251920
DXF_HEAD = b"0\r\nSECTION\r\n2\r\nHEADER\r\n"
DXF_TAIL = b"0\r\nENDSEC\r\n0\r\nEOF\r\n"
NAMES = r"(XORVANE\.CFG|XModule[0-9]+\.CFG|TEMPIMAGE\.BMP|FILE\.DXF|IMAGE[0-9]+\.(BMP|JPG))"
TEMPORARY = re.compile(NAMES + r"\.tmp[A-Za-z0-9]{6}|\." + NAMES + r"\.pixora-[0-9]+-[0-9]+-[0-9]+\.tmp")

# Calibrates once, draws a Circle and a Points ROI for DXF Auto Output, then
# writes every kind of file again and again.
PREFIX = """start
solution "Manual Calibration"
drop PART.BMP
mouse down 120 200
mouse move 520 280
mouse up 520 280
param 1 8
click Process
solution "DXF Auto Output"
drop PART.BMP
choice dark-light 0
entity circle
mouse down 160 180
mouse move 280 300
mouse up 280 300
entity points
mouse down 290 80
mouse move 350 140
mouse up 350 140
"""
ROUND = """param 3 {threshold}
click Process
setup save-preference 0
setup-close
click Set-Up
click Save
setup save-preference 1
setup-close
click Set-Up
click Save
"""


def script(rounds):
    body = "".join(ROUND.format(threshold=100 + i % 50) for i in range(rounds))
    return PREFIX + body + "key escape\n"


def torn(folder):
    """The station files in folder that are not whole, as (path, why)."""
    bad = []

    def check(path, ok, why):
        if not ok:
            bad.append((path, why))

    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or os.path.islink(path):
            continue
        size = os.path.getsize(path)
        if name == "XORVANE.CFG":
            check(path, size == SETTINGS_BYTES, f"{size} bytes")
        elif re.fullmatch(r"XModule[0-9]+\.CFG", name):
            check(path, size == SOLUTION_BYTES, f"{size} bytes")
        elif name == "TEMPIMAGE.BMP":
            check(path, bmp_whole(path), "short BMP")
    dxf = os.path.join(folder, "DXF", "FILE.DXF")
    if os.path.exists(dxf):
        with open(dxf, "rb") as f:
            text = f.read()
        check(dxf, text.startswith(DXF_HEAD) and text.endswith(DXF_TAIL), f"{len(text)} bytes")
    saved = os.path.join(folder, "Saved")
    if os.path.isdir(saved):
        for name in os.listdir(saved):
            path = os.path.join(saved, name)
            if re.fullmatch(r"IMAGE[0-9]+\.BMP", name):
                check(path, bmp_whole(path), "short BMP")
            elif re.fullmatch(r"IMAGE[0-9]+\.JPG", name):
                with open(path, "rb") as f:
                    data = f.read()
                check(path, data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9", "torn JPEG")
    return bad


def bmp_whole(path):
    with open(path, "rb") as f:
        data = f.read()
    return len(data) >= 54 and data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data)


def temporaries(folder):
    found = []
    for sub in ("", "DXF", "Saved"):
        d = os.path.join(folder, sub)
        if os.path.isdir(d):
            found += [os.path.join(d, n) for n in os.listdir(d) if TEMPORARY.fullmatch(n)]
    return found


def counted_files(folder):
    n = 0
    for sub in ("", "DXF", "Saved"):
        d = os.path.join(folder, sub)
        if os.path.isdir(d):
            n += sum(1 for name in os.listdir(d) if os.path.isfile(os.path.join(d, name)))
    return n


def arguments(kills):
    """The command line of a kill round, and its seed (said); None when the
    program is not there (the round is skipped)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--batch", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--kills", type=int, default=kills)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    if not os.access(args.batch, os.X_OK):
        print(f"no program at {args.batch}: skipped")
        return None, None
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    print(f"seed {seed}")
    return args, seed


def main():
    args, seed = arguments(100)
    if args is None:
        return SKIP
    rng = random.Random(seed)

    work = tempfile.mkdtemp(prefix="orvane-kill-")
    try:
        shutil.copy(os.path.join(args.samples, "PART.BMP"), work)
        script_path = os.path.join(work, "..", os.path.basename(work) + ".txt")
        with open(script_path, "w") as f:
            f.write(script(400))
        # One run to its end first, to know how long the writing lasts.
        short = os.path.join(work, "..", os.path.basename(work) + "-short.txt")
        with open(short, "w") as f:
            f.write(script(3))
        begun = time.monotonic()
        subprocess.run([args.batch, "-C", work, short], stdout=subprocess.DEVNULL, check=False)
        per_round = (time.monotonic() - begun) / 3
        span = max(0.5, per_round * 6)

        checked = torn_count = left = complaints = 0
        for kill in range(args.kills):
            run = subprocess.Popen([args.batch, "-C", work, script_path],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            time.sleep(rng.uniform(0.0, span))
            run.send_signal(signal.SIGKILL)
            out, _ = run.communicate()
            if run.returncode != -signal.SIGKILL:
                print(f"kill {kill}: the run ended on its own (status {run.returncode})")
            if b"Unable to" in out:
                complaints += 1
                print(f"kill {kill}: the run complained:\n" + out.decode(errors="replace")[-2000:])
            checked += counted_files(work)
            for path, why in torn(work):
                torn_count += 1
                print(f"kill {kill}: {path} is torn ({why})")
            left += len(temporaries(work))
            shutil.rmtree(os.path.join(work, "Saved"), ignore_errors=True)
        # A start-up removes whatever the last kill left.
        with open(short, "w") as f:
            f.write("start\nkey escape\n")
        subprocess.run([args.batch, "-C", work, short], stdout=subprocess.DEVNULL, check=False)
        remaining = temporaries(work)
        print(f"{args.kills} kills (each {span:.2f} s at most after the start), {checked} files "
              f"checked, {torn_count} torn, {left} temporary files left by the kills "
              f"(each removed by the next start-up), {len(remaining)} after the last start-up, "
              f"{complaints} runs that complained")
        os.remove(script_path)
        os.remove(short)
        return 0 if torn_count == 0 and not remaining and complaints == 0 else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
