#!/usr/bin/env python3
"""The results files' kill round: orvane-batch measures lengths over and over
with "append to RESULTS.CSV" on, and is killed with SIGKILL at random moments;
then the same on a full disk (a file-size limit: writes past it fail with
EFBIG, as on a full disk with ENOSPC) and with a pipe and links in the files'
places. The first run migrates a RESULTS.TAB into RESULTS.DB. After every run
RESULTS.DB must open and pass its integrity check, RESULTS.CSV must hold whole
rows whose numbers only ever grow (never one twice), and every row appended
there (appended only once recorded) must be in the database; a failure must
be said, and what was not saved said at the end. Plain python3, no modules
beyond the standard library.

  results_kill_round.py --batch PATH --samples DIR [--kills N] [--seed S]

Ends with status 0 when every check held, 1 otherwise, 77 when the program
does not exist (the test is skipped).
"""
import csv
import io
import os
import random
import resource
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kill_round  # noqa: E402  (its command line and seed)

SKIP = 77
MAGIC = "ORVANE-RESULTS\t1"
CSV_FIELDS = 14
TEMPORARY_PREFIX = "RESULTS.DB.new"
APPEND_ON = MAGIC + "\noption\tsnap\t0\noption\tappend-csv\t1\n"

ROUND = """click Process
distance 24 ok
mouse down {x} 240
mouse up {x} 240
mouse down 520 240
mouse up 520 240
"""


# Calibrates (a row of its own), then measures one length a round.
PREFIX = """start
solution "Manual Calibration"
drop PART.BMP
mouse down 120 200
mouse move 520 280
mouse up 520 280
param 1 8
click Process
solution "Manual Measurement"
drop PART.BMP
"""


def script(rounds):
    """Rows: one calibration, then one length a round."""
    body = "".join(ROUND.format(x=100 + i % 100) for i in range(rounds))
    return PREFIX + body + "key escape\n"


def fill_database(path, rows, first):
    """Rows numbered first .. first + rows - 1 added to the database, which is
    left checkpointed (no WAL file)."""
    db = sqlite3.connect(path)
    with db:
        db.executemany("INSERT INTO results(number, taken_at, solution, label, kind, value, unit, u, "
                       "source, calibration, note) VALUES(?, 0, 'Manual Measurement', ?, 'length', "
                       "400, 'px', NULL, 'PART.BMP', 'none', '')",
                       [(n, f"L{n}") for n in range(first, first + rows)])
        db.execute("UPDATE settings SET value = ? WHERE key = 'next'", (str(first + rows),))
    db.close()


def empty_database(path):
    """Every row removed (the numbering goes on)."""
    db = sqlite3.connect(path)
    with db:
        db.execute("DELETE FROM results")
    db.close()


def csv_file(rows, first=1):
    header = ("No.,Time (UTC),Solution,Label,Kind,Value,Unit,Uncertainty (1 s.u.),Nominal,"
              "Tolerance (+/-),Result,Source,Calibration,Note\r\n")
    return header + "".join(f"{n},1970-01-01T00:00:00Z,Manual Measurement,L{n},length,400,px,,,,,"
                            f"PART.BMP,none,\r\n" for n in range(first, first + rows))


def read_table(path):
    """The numbers of the database's rows and its next number; raises on damage."""
    if not os.path.isfile(path):
        raise ValueError("no database")
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        check = db.execute("PRAGMA integrity_check").fetchone()[0]
        if check != "ok":
            raise ValueError(f"integrity check: {check}")
        numbers = [n for (n,) in db.execute("SELECT number FROM results ORDER BY number")]
        row = db.execute("SELECT value FROM settings WHERE key = 'next'").fetchone()
    except sqlite3.Error as e:
        raise ValueError(str(e))
    finally:
        db.close()
    nxt = int(row[0]) if row else 1
    if numbers != sorted(set(numbers)) or (numbers and numbers[-1] >= nxt):
        raise ValueError("rows numbered twice or past next")
    return numbers, nxt


def read_csv(path):
    """The numbers of the CSV file's rows; raises on a torn or merged row."""
    with open(path, "rb") as f:
        data = f.read()
    if data and not data.endswith(b"\r\n"):
        raise ValueError("does not end with a whole row")
    records = list(csv.reader(io.StringIO(data.decode("utf-8"), newline=""), strict=True))
    numbers = []
    for record in records[1:]:
        if len(record) != CSV_FIELDS:
            raise ValueError(f"a record of {len(record)} fields: {record}")
        numbers.append(int(record[0]))
    return numbers


class Round:
    def __init__(self, batch, work):
        self.batch = batch
        self.work = work
        self.problems = []
        self.csv_numbers = []  # every number the CSV file held so far, in order
        self.emptied = set()  # numbers the round itself removed from the database

    def path(self, name):
        return os.path.join(self.work, name)

    def fail(self, what):
        self.problems.append(what)
        print("FAIL: " + what)

    def run(self, text, limit=None, kill_after=None):
        script_path = self.work + ".txt"
        with open(script_path, "w") as f:
            f.write(text)

        def limited():
            if limit is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))

        run = subprocess.Popen([self.batch, "-C", self.work, script_path], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, preexec_fn=limited, restore_signals=False)
        if kill_after is not None:
            time.sleep(kill_after)
            run.send_signal(signal.SIGKILL)
        try:
            out, _ = run.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            run.kill()
            out, _ = run.communicate()
            self.fail("a run hung")
        os.remove(script_path)
        return out.decode(errors="replace")

    def check(self, when):
        """RESULTS.DB opens whole, RESULTS.CSV holds whole rows numbered ever
        higher, each of them in the database, none beyond what it numbered."""
        try:
            stored, nxt = read_table(self.path("RESULTS.DB"))
        except (OSError, ValueError, UnicodeDecodeError) as e:
            self.fail(f"{when}: RESULTS.DB does not read: {e}")
            return
        if not os.path.isfile(self.path("RESULTS.CSV")):
            return
        try:
            numbers = read_csv(self.path("RESULTS.CSV"))
        except (OSError, ValueError, csv.Error, UnicodeDecodeError) as e:
            self.fail(f"{when}: RESULTS.CSV is torn: {e}")
            return
        if numbers[:len(self.csv_numbers)] != self.csv_numbers:
            self.fail(f"{when}: rows already in RESULTS.CSV changed")
        # Each repeat is counted once: only the rows since the last check.
        fresh = numbers[max(0, len(self.csv_numbers) - 1):]
        if any(b <= a for a, b in zip(fresh, fresh[1:])):
            self.fail(f"{when}: a number repeats or goes back in RESULTS.CSV")
        if numbers and numbers[-1] >= nxt:
            self.fail(f"{when}: RESULTS.CSV holds number {numbers[-1]}, the table's next is {nxt}")
        lost = set(numbers[len(self.csv_numbers):]) - set(stored) - self.emptied
        if lost:
            self.fail(f"{when}: rows shown as recorded but not in RESULTS.DB: {sorted(lost)[:10]}")
        self.csv_numbers = numbers

    def temporaries(self):
        return [n for n in os.listdir(self.work) if n.startswith(TEMPORARY_PREFIX)]

    def migrated(self):
        """The first run moved RESULTS.TAB aside and took its options."""
        if os.path.exists(self.path("RESULTS.TAB")) or not os.path.isfile(self.path("RESULTS.TAB.migrated")):
            self.fail("RESULTS.TAB was not migrated")

    def expect(self, out, text, when, times=None):
        n = out.count(text)
        if n == 0 or (times is not None and n != times):
            self.fail(f"{when}: {text!r} said {n} times:\n{out[-1500:]}")


def kills(r, count, rng):
    with open(r.path("RESULTS.TAB"), "w") as f:
        f.write(APPEND_ON)
    # Kills up to four times the length of a short run land from the start-up
    # to well into the writing.
    begun = time.monotonic()
    r.run(script(5))
    span = max(0.3, (time.monotonic() - begun) * 4)
    r.migrated()
    r.check("after a whole run")
    left = 0
    for kill in range(count):
        out = r.run(script(1000), kill_after=rng.uniform(0.0, span))
        if "Unable to" in out:
            r.fail(f"kill {kill}: the run complained:\n{out[-1500:]}")
        r.check(f"kill {kill}")
        left += len(r.temporaries())
    r.run("start\nkey escape\n")
    if r.temporaries():
        r.fail(f"temporary files after a start-up: {r.temporaries()}")
    stored, _ = read_table(r.path("RESULTS.DB"))
    print(f"{count} kills (each {span:.2f} s at most after the start), {len(r.csv_numbers)} rows "
          f"in RESULTS.CSV, all {len(stored)} in RESULTS.DB")


def full_disk(r):
    """The database fills the disk first; then the CSV file, less than a row from full."""
    problems = len(r.problems)
    db_path, csv_path = r.path("RESULTS.DB"), r.path("RESULTS.CSV")
    # A database larger than the solution files (251920 bytes), which the runs
    # save too; its journal grows until the limit stops it.
    stored, nxt = read_table(db_path)
    r.emptied |= set(stored)
    empty_database(db_path)
    fill_database(db_path, rows=6000, first=nxt)
    with open(csv_path, "w", newline="") as f:
        f.write(csv_file(rows=10, first=nxt + 5990))
    r.csv_numbers = []
    r.check("before the full disk")
    out = r.run(script(200), limit=os.path.getsize(db_path) + 500)
    r.expect(out, f'"Unable to write {db_path}: File too large"', "full disk, the table", times=1)
    r.expect(out, "recorded since the last save", "full disk, the end")
    r.expect(out, "not appended to " + csv_path, "full disk, the end")
    r.check("full disk, the table")

    stored, nxt = read_table(db_path)
    r.emptied |= set(stored)
    empty_database(db_path)
    fill_database(db_path, rows=5, first=nxt)
    with open(csv_path, "w", newline="") as f:
        f.write(csv_file(rows=nxt + 4))
    with open(csv_path, "rb") as f:
        before = f.read()
    r.csv_numbers = []
    out = r.run(script(10), limit=len(before) + 40)
    r.expect(out, f'"Unable to write {csv_path}: File too large"', "full disk, the CSV file", times=1)
    r.expect(out, "11 results were not appended to " + csv_path, "full disk, the end")
    with open(csv_path, "rb") as f:
        if f.read() != before:
            r.fail("full disk: RESULTS.CSV changed though no row fitted")
    r.run(script(3))
    r.check("after the full disk")
    if len(r.problems) == problems:
        print("full disk: each failure said once, what was lost said at the end, no row torn")


def nodes_and_links(r):
    problems = len(r.problems)
    tab_path, csv_path = r.path("RESULTS.DB"), r.path("RESULTS.CSV")
    target = r.path("elsewhere.csv")
    os.remove(csv_path)
    os.symlink(target, csv_path)
    out = r.run(script(3))
    r.expect(out, f'"Unable to write {csv_path}: Not a regular file"', "a link to nothing", times=1)
    if os.path.exists(target):
        r.fail("a link to nothing in RESULTS.CSV's place created its target")
    open(target, "w").close()
    r.run(script(3))
    r.csv_numbers = []
    if not os.path.islink(csv_path) or len(read_csv(target)) != 4:
        r.fail("a link to a file in RESULTS.CSV's place is not written through")

    saved = tab_path + ".saved"
    os.rename(tab_path, saved)
    os.mkfifo(tab_path)
    out = r.run(script(3))
    r.expect(out, f"Unable to read {tab_path}: Not a regular file", "a pipe", times=1)
    r.expect(out, "4 results recorded since the last save", "a pipe")
    if not os.path.exists(tab_path) or os.path.isfile(tab_path) or os.path.exists(tab_path + ".bad"):
        r.fail("the pipe in RESULTS.DB's place was moved or replaced")
    os.remove(tab_path)
    os.rename(saved, tab_path)
    if len(r.problems) == problems:
        print("links and a pipe: nothing created through a link, nothing moved, each said")


def main():
    args, seed = kill_round.arguments(60)
    if args is None:
        return SKIP
    work = tempfile.mkdtemp(prefix="orvane-results-kill-")
    try:
        shutil.copy(os.path.join(args.samples, "PART.BMP"), work)
        r = Round(args.batch, work)
        kills(r, args.kills, random.Random(seed))
        full_disk(r)
        nodes_and_links(r)
        print(f"{len(r.problems)} problems")
        return 1 if r.problems else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
