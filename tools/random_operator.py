#!/usr/bin/env python3
"""The random operator: random orvane-batch scripts that use the whole station.

It clicks every command, picks solutions, types good and bad parameter texts,
moves sliders and combo boxes, drags ROIs, measurement points and drawn
entities, answers message boxes and dialogs, visits Set-Up and changes every
list (units and resolution among them), drops good, truncated and corrupted
BMP and JPEG files, ends and restarts the station, all with the virtual
camera on. Plain python3, no modules beyond the standard library.

  random_operator.py script --seed S [--chunk K] [--commands N] [--files DIR]
      Writes chunk K of seed S to standard output (the images it drops are
      made in DIR, default a fresh temporary folder, whose path is printed
      in a comment).
  random_operator.py soak --batch PATH [--seed S] [--commands N] [--seconds T]
      (without --seed: $ORVANE_SOAK_SEED, else a fresh seed, printed first)
      Runs chunks of seed S through orvane-batch in a temporary station
      folder until N commands ran or T seconds passed (whichever is set;
      default 3000 commands). Every run must end with status 0 or 1, without
      a sanitizer report, within its time limit. A failure prints the seed and
      chunk, keeps the script, and ends with status 1. Exit status 77 when
      the orvane-batch program does not exist (the test is skipped).

Every chunk is a function of (seed, chunk) alone, so any failure replays with
`script --seed S --chunk K`.
"""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
COMMANDS_PER_CHUNK = 400
RUN_TIMEOUT = 600  # seconds for one chunk, however slow the sanitizer build

# ---------------------------------------------------------------- images


def bmp_bytes(width, height, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives (b, g, r)."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            row += bytes(pixel(x, y))
        row += bytes(stride - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


# A baseline JPEG whose 8 x 8 blocks are each one flat grey or colour: every
# block is its DC coefficient and an end-of-block, so no DCT is needed.
_DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
_DC_VALUES = list(range(12))
_AC_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
_AC_VALUES = bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a"
    "3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a9293"
    "9495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6"
    "e7e8e9eaf1f2f3f4f5f6f7f8f9fa")


def _huffman_codes(bits, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, code, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((code >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = 0
                self.n = 0

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)
        return bytes(self.out)


def jpeg_bytes(width, height, block_level, colour):
    """block_level(bx, by) gives a level 0..255 (or a (y, cb, cr) triple)."""
    dc_codes = _huffman_codes(_DC_BITS, _DC_VALUES)
    ac_codes = _huffman_codes(_AC_BITS, list(_AC_VALUES))
    comps = 3 if colour else 1
    seg = lambda marker, body: struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body
    out = b"\xff\xd8"
    out += seg(0xDB, b"\x00" + bytes([1] * 64))  # quantisation table 0: all ones
    sof = struct.pack(">BHHB", 8, height, width, comps)
    for c in range(comps):
        sof += bytes([c + 1, 0x11, 0])
    out += seg(0xC0, sof)
    out += seg(0xC4, b"\x00" + bytes(_DC_BITS) + bytes(_DC_VALUES))
    out += seg(0xC4, b"\x10" + bytes(_AC_BITS) + _AC_VALUES)
    sos = bytes([comps]) + b"".join(bytes([c + 1, 0x00]) for c in range(comps)) + b"\x00\x3f\x00"
    out += seg(0xDA, sos)
    bits = _BitWriter()
    previous = [0] * comps
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            level = block_level(bx, by)
            levels = level if colour else (level,)
            for c in range(comps):
                dc = (levels[c] - 128) * 8  # DC of a flat block with quantiser 1
                diff = dc - previous[c]
                previous[c] = dc
                size = abs(diff).bit_length()
                bits.put(*dc_codes[size])
                if size:
                    bits.put(diff if diff > 0 else diff + (1 << size) - 1, size)
                bits.put(*ac_codes[0x00])  # end of block
    return out + bits.flush() + b"\xff\xd9"


def make_images(folder, rng):
    """Good, truncated and corrupted BMP and JPEG files; returns their paths."""
    os.makedirs(folder, exist_ok=True)
    made = []

    def write(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        made.append(path)
        return data

    def scene(w, h, seed):
        # A dark plate with a bright hole on a light ground: edges and blobs.
        cx, cy, r = w // 2 + seed % 7, h // 2, max(3, min(w, h) // 6)

        def pixel(x, y):
            inside = w // 5 <= x < 4 * w // 5 and h // 5 <= y < 4 * h // 5
            hole = (x - cx) ** 2 + (y - cy) ** 2 <= r * r
            v = 230 if (not inside or hole) else 30
            return (v, v, v)
        return pixel

    sizes = [(640, 480), (320, 240), (64, 48), (33, 17), (1, 1), (161, 97)]
    for i, (w, h) in enumerate(sizes):
        good = write(f"good{i}.bmp", bmp_bytes(w, h, scene(w, h, i)))
        write(f"short{i}.bmp", good[: rng.randrange(1, len(good))])
        bad = bytearray(good)
        for _ in range(rng.randrange(1, 8)):
            bad[rng.randrange(0, min(len(bad), 64))] = rng.randrange(256)
        write(f"bad{i}.bmp", bytes(bad))
        colour = i % 2 == 0
        if colour:
            level = lambda bx, by: (40 + (bx * 37 + by * 11) % 180, 128 + (bx % 3) * 20, 128 - (by % 3) * 20)
        else:
            level = lambda bx, by: 30 if (bx + by) % 3 else 220
        jpg = write(f"good{i}.jpg", jpeg_bytes(w, h, level, colour))
        write(f"short{i}.jpg", jpg[: rng.randrange(2, len(jpg))])
        bad = bytearray(jpg)
        for _ in range(rng.randrange(1, 6)):
            bad[rng.randrange(2, len(bad))] = rng.randrange(256)
        write(f"bad{i}.jpg", bytes(bad))
    write("empty.bmp", b"")
    write("text.jpg", b"not a picture\n")
    write("UPPER.BMP", bmp_bytes(40, 30, scene(40, 30, 3)))
    made.append(os.path.join(folder, "missing.bmp"))
    made.append(folder)  # a folder is not a file
    return made


# ---------------------------------------------------------------- scripts


def quote(text):
    """Double-quoted with the runner's escapes."""
    out = ['"']
    for b in text.encode("latin-1") if isinstance(text, str) else text:
        c = chr(b)
        if c == "\r":
            out.append("\\r")
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        elif c in '\\"':
            out.append("\\" + c)
        elif b < 0x20 or b >= 0x7F:
            out.append("\\x%02X" % b)
        else:
            out.append(c)
    out.append('"')
    return "".join(out)


BUTTONS = ["Grab", "Live", "Save", "File", "Process", "Train", "Enlarge", "Reduce", "Set-Up"]
SOLUTIONS = ["Auto Calibration", "Manual Calibration", "Manual Measurement", "DXF Auto Output",
             "DXF Simple Output", "DXF Trace Output"]
SETUP_LISTS = ["resolution", "on-function-change", "units", "background", "foreground", "expand",
               "decimals", "angle-decimals", "save-preference", "text-background"]
PRINTABLE = (["result", "image-status", "calibration", "mode", "coordinates", "roi-count", "title",
              "solution", "option", "device", "dark-light", "filter"]
             + [f"{part}{row}" for part in ("label", "edit", "slider") for row in range(10)])
GOOD_PARAMS = ["24", "6", "0.5", "1", "16", "128", "255", "0", "999", "12.75", "3e1", " 7 ", "+4"]
BAD_PARAMS = ["-5", "300", "abc", "nan", "NaN", "inf", "-inf", "1e999", "-1e999", "", "  ", "3,5",
              "0x10", "1e-999", "12abc", "\t9\t", "\xff\xfe", "9" * 400, "-0", ".", "e5", "\"q\""]
SCREENS = [(1280, 1024), (1024, 768), (800, 600), (640, 480), (1920, 1080), (801, 601), (2560, 1600),
           (320, 200)]
START_ARGS = [[], [], [], ["-d0"], ["-d1"], ["-d3"], ["-d12"], ["-d2"], ["-x", "-d1"], ["junk"]]


class Operator:
    def __init__(self, rng, images):
        self.rng = rng
        self.images = images
        self.lines = []
        self.commands = 0
        self.running = False

    def emit(self, line):
        self.lines.append(line)
        self.commands += 1

    def pixel(self):
        r = self.rng
        if r.random() < 0.9:
            return r.randrange(0, 640), r.randrange(0, 480)
        return r.choice([-1, -50, 0, 639, 640, 100000, -1000000]), r.choice([-1, 0, 479, 480, 99999])

    def start(self):
        r = self.rng
        if r.random() < 0.3:
            w, h = r.choice(SCREENS)
            self.emit(f"screen {w} {h}")
        args = " ".join(r.choice(START_ARGS))
        self.emit(f"start {args}".rstrip())
        self.running = True

    def drag(self, button="down", release="up"):
        """Press, move a few steps, release: draws or moves ROIs, points, entities."""
        r = self.rng
        x, y = self.pixel()
        mods = " ".join(m for m in ("shift", "ctrl") if r.random() < 0.15)
        self.emit(f"mouse {button} {x} {y} {mods}".rstrip())
        for _ in range(r.randrange(0, 5)):
            x = max(-10, min(700, x + r.randrange(-120, 121)))
            y = max(-10, min(520, y + r.randrange(-90, 91)))
            self.emit(f"mouse move {x} {y}")
        self.emit(f"mouse {release} {x} {y}")

    def queue_answers(self):
        r = self.rng
        for _ in range(r.randrange(0, 3)):
            kind = r.random()
            if kind < 0.4:
                self.emit("answer " + r.choice(["ok", "cancel", "yes", "no"]))
            elif kind < 0.7:
                self.emit("entity " + r.choice(["1", "2", "3", "points", "line", "circle", "none"]))
            else:
                text = r.choice(GOOD_PARAMS + BAD_PARAMS)
                self.emit(f"distance {quote(text)} " + r.choice(["ok", "ok", "cancel"]))

    def setup_visit(self):
        r = self.rng
        picks = []
        for name in r.sample(SETUP_LISTS, r.randrange(1, len(SETUP_LISTS) + 1)):
            index = r.randrange(0, 6) if r.random() < 0.9 else r.choice([-1, 40, 2147483647])
            picks += [name, str(index)]
        self.emit("setup " + " ".join(picks))
        if r.random() < 0.3:
            self.emit("setup-reset " + r.choice(["yes", "no"]))
        if r.random() < 0.85:
            self.emit("setup-close")
        self.emit("click Set-Up")

    def step(self):
        r = self.rng
        if not self.running or r.random() < 0.004:
            self.start()
            return
        roll = r.random()
        if roll < 0.10:
            self.emit(f"click {r.choice(BUTTONS)}")
        elif roll < 0.16:
            if r.random() < 0.8:
                self.emit(f"solution {r.randrange(0, 6)}")
            elif r.random() < 0.5:
                self.emit(f"solution {quote(r.choice(SOLUTIONS))}")
            else:
                self.emit(f"solution {r.choice([-1, 6, 20, 99999])}")
        elif roll < 0.24:
            text = r.choice(GOOD_PARAMS) if r.random() < 0.5 else r.choice(BAD_PARAMS)
            self.emit(f"param {r.randrange(0, 10)} {quote(text)}")
        elif roll < 0.27:
            pos = r.choice([0, 1, 16, 128, 255, 999, -1, 100000, r.randrange(0, 300)])
            self.emit(f"slider {r.randrange(0, 10)} {pos}")
        elif roll < 0.31:
            verb = r.choice(["option", "choice"])
            box = r.choice(["option", "dark-light", "filter", "device", "solution"])
            self.emit(f"{verb} {box} {r.choice([0, 0, 1, 2, 3, 4, 5, -1, 77])}")
        elif roll < 0.47:
            self.queue_answers()
            self.drag()
        elif roll < 0.52:
            self.queue_answers()
            self.drag("rdown", "rup")
        elif roll < 0.55:
            x, y = r.randrange(-20, 1400), r.randrange(-20, 1100)
            if r.random() < 0.25:
                # Zoom or pan the view; the drags that follow go through the zoom.
                factor = r.choice(["fit", "1", "2.5", "8", "16", "0.5"])
                at = f" {x} {y}" if r.random() < 0.5 else ""
                self.emit(f"zoom {factor}{at}" if r.random() < 0.7 else f"pan {x - 700} {y - 500}")
            else:
                self.emit(f"mouse-view {r.choice(['down', 'up', 'move', 'rdown', 'rup'])} {x} {y}")
        elif roll < 0.63:
            self.queue_answers()
            self.emit(f"click {r.choice(['Process', 'Process', 'Train', 'Grab'])}")
        elif roll < 0.71:
            if r.random() < 0.4:
                self.emit("click File")
            self.emit(f"drop {quote(r.choice(self.images))}")
        elif roll < 0.76:
            self.setup_visit()
        elif roll < 0.84:
            self.emit(f"print {r.choice(PRINTABLE)}")
        elif roll < 0.87:
            self.emit("texts")
        elif roll < 0.89:
            pick = r.random()
            if pick < 0.6:
                self.emit(f"save-display display{r.randrange(0, 3)}.bmp")
            elif pick < 0.8:
                self.emit("save-annotated" + (f" annotated{r.randrange(0, 3)}.bmp" if r.random() < 0.5 else ""))
            elif pick < 0.9:
                self.emit(f"dxf-units {r.choice(['on', 'off'])}")
            else:
                self.emit(f"dxf-save-as {r.choice(['copy.dxf', 'copy.txt'])}")
        elif roll < 0.91:
            self.emit(f"expect-file {quote(r.choice(['XORVANE.CFG', 'DXF/FILE.DXF', 'nothing']))}")
        elif roll < 0.93:
            self.emit(f"expect {r.choice(PRINTABLE)} {quote(r.choice(['', 'Success', '0']))}")
        elif roll < 0.95:
            self.queue_answers()
            key = r.choice(["enter", "enter", "escape"])
            self.emit("key " + key)
            self.running = key != "escape"  # Escape ends the window
        elif roll < 0.965:
            self.emit("click Exit")
            self.running = False
        elif roll < 0.985:
            # Undo and redo between the edits, and the results table's own edits.
            number = r.choice([1, 2, 3, r.randrange(1, 50), 4294967295])
            self.emit(r.choice(["undo", "undo", "redo", f"results-delete {number}",
                                f"relabel {number} {quote(r.choice(['L1', 'plate', '=x']))}",
                                "results-clear"]))
        else:
            self.queue_answers()


def chunk_rng(seed, chunk):
    return random.Random(f"orvane-random-operator:{seed}:{chunk}")


def seed_images(seed, folder):
    return make_images(folder, random.Random(f"images:{seed}"))


def write_chunk(seed, chunk, commands, images):
    """The script of chunk `chunk` of `seed`, dropping the given images."""
    rng = chunk_rng(seed, chunk)
    op = Operator(rng, images)
    op.lines.append(f"# random operator, seed {seed}, chunk {chunk}")
    while op.commands < commands:
        op.step()
    return "\n".join(op.lines) + "\n", op.commands


# ---------------------------------------------------------------- soak


SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "UndefinedBehaviorSanitizer", "==ERROR")


def run_chunk(batch, station, script_path, timeout):
    env = dict(os.environ)
    env["ORVANE_VIRTUAL_CAMERA"] = "scene"
    env["QT_QPA_PLATFORM"] = "offscreen"
    # Keep the runner's own status 1 apart from a sanitizer's report.
    env["ASAN_OPTIONS"] = "exitcode=86:detect_leaks=1:" + env.get("ASAN_OPTIONS", "")
    env["UBSAN_OPTIONS"] = "exitcode=87:halt_on_error=1:print_stacktrace=1:" + env.get("UBSAN_OPTIONS", "")
    try:
        proc = subprocess.run([batch, "-C", station, "--fixed-clock", script_path],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        return None, b"", b"timed out"
    return proc.returncode, proc.stdout, proc.stderr


def tidy_station(station):
    """Drops what a long soak would pile up (saved images, displays)."""
    saved = os.path.join(station, "Saved")
    if os.path.isdir(saved):
        shutil.rmtree(saved, ignore_errors=True)
    for name in os.listdir(station):
        if name.startswith("display"):
            os.unlink(os.path.join(station, name))


def soak(args):
    batch = args.batch
    if not (os.path.isfile(batch) and os.access(batch, os.X_OK)):
        print(f"orvane-batch not built ({batch}): the random operator has nothing to drive; skipped")
        return SKIP
    seed = args.seed
    if seed is None and os.environ.get("ORVANE_SOAK_SEED"):
        seed = int(os.environ["ORVANE_SOAK_SEED"])
    if seed is None:
        seed = random.SystemRandom().randrange(1, 2**31)
    limit_commands = args.commands if args.commands is not None else (None if args.seconds else 3000)
    print(f"random operator: seed {seed}", flush=True)
    work = tempfile.mkdtemp(prefix="orvane-soak-")
    keep = False
    try:
        images = seed_images(seed, os.path.join(work, "images"))
        station = os.path.join(work, "station")
        os.makedirs(station)
        began = time.monotonic()
        total = 0
        chunk = 0
        statuses = {}
        while True:
            if limit_commands is not None and total >= limit_commands:
                break
            if args.seconds and time.monotonic() - began >= args.seconds:
                break
            size = COMMANDS_PER_CHUNK
            if limit_commands is not None:
                size = min(size, limit_commands - total)
            text, count = write_chunk(seed, chunk, size, images)
            script = os.path.join(work, f"chunk{chunk}.txt")
            with open(script, "w", encoding="latin-1") as f:
                f.write(text)
            status, out, err = run_chunk(batch, station, script, RUN_TIMEOUT)
            stderr_text = err.decode("latin-1")
            bad = (status not in (0, 1)) or any(m in stderr_text for m in SANITIZER_MARKS)
            if bad:
                keep = True
                kept = args.keep or os.path.join(work, "failed.txt")
                shutil.copyfile(script, kept)
                print(f"FAILED: seed {seed} chunk {chunk}: exit status {status}")
                print(f"replay the whole run (the station folder carries over from script to"
                      f" script): {sys.argv[0]} soak --batch {batch} --seed {seed}"
                      f" --commands {total + count}")
                print(f"the failing script alone: {sys.argv[0]} script --seed {seed}"
                      f" --chunk {chunk} --commands {size}; kept as {kept}, its station in {station}")
                print("--- stderr (end)")
                print(stderr_text[-6000:])
                print("--- stdout (end)")
                print(out.decode("latin-1")[-3000:])
                return 1
            statuses[status] = statuses.get(status, 0) + 1
            os.unlink(script)
            tidy_station(station)
            total += count
            chunk += 1
        took = time.monotonic() - began
        print(f"random operator: seed {seed}: {total} commands in {chunk} scripts, {took:.1f} s, "
              f"exit statuses {dict(sorted(statuses.items()))}, nothing found")
        return 0
    finally:
        if not keep:
            shutil.rmtree(work, ignore_errors=True)


def script(args):
    folder = args.files or tempfile.mkdtemp(prefix="orvane-operator-images-")
    images = seed_images(args.seed, folder)
    print(f"# images in {folder}")
    text, _ = write_chunk(args.seed, args.chunk, args.commands or COMMANDS_PER_CHUNK, images)
    sys.stdout.write(text)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("script", help="write one chunk's script")
    p.add_argument("--seed", type=int, required=True)
    p.add_argument("--chunk", type=int, default=0)
    p.add_argument("--commands", type=int)
    p.add_argument("--files", help="folder for the images the script drops")
    p.set_defaults(run=script)
    p = sub.add_parser("soak", help="run random scripts through orvane-batch")
    p.add_argument("--batch", required=True, help="path of the orvane-batch program")
    p.add_argument("--seed", type=int)
    p.add_argument("--commands", type=int)
    p.add_argument("--seconds", type=float)
    p.add_argument("--keep", help="where to keep a failing script")
    p.set_defaults(run=soak)
    args = parser.parse_args()
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
