#!/usr/bin/env python3
"""The layer check on small made-up trees: what it lets through and what not."""

import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                     "check_layers.py")

TABLE = """\
low:
mid: low
ui: low mid
ui/qt: low mid ui
tests: *
"""

# (what the case shows, files of the tree, exit status of the check)
CASES = [
    ("downward and local includes pass",
     {"low/a.h": "", "low/b.cpp": '#include "a.h"\n#include "low/a.h"\n',
      "mid/m.cpp": '#include "low/a.h"\n', "ui/qt/w.cpp": '#include "ui/u.h"\n#include "mid/m.h"\n',
      "ui/u.h": "", "mid/m.h": ""}, 0),
    ("an upward include fails",
     {"low/a.cpp": '#include "mid/m.h"\n', "mid/m.h": ""}, 1),
    ("a folder may not include a subfolder that has a line above it",
     {"ui/u.cpp": '#include "ui/qt/w.h"\n', "ui/qt/w.h": ""}, 1),
    ("an include beside the file counts as the folder it lands in",
     {"low/a.cpp": '#include "../mid/m.h"\n', "mid/m.h": ""}, 1),
    ("tests may include anything",
     {"tests/t.cpp": '#include "ui/qt/w.h"\n', "ui/qt/w.h": ""}, 0),
    ("system and generated headers are not ours",
     {"low/a.cpp": '#include <vector>\n#include "moc_generated.h"\n'}, 0),
    ("a source folder without a line fails",
     {"zoom/z.cpp": '#include "low/a.h"\n', "low/a.h": ""}, 1),
]


def run(files, table=TABLE):
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "tools"))
        with open(os.path.join(root, "tools", "layers.txt"), "w") as f:
            f.write(table)
        for name, text in files.items():
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def main():
    failures = 0
    for what, files, expected in CASES:
        result = run(dict(files))
        if result.returncode != expected:
            failures += 1
            print(f"FAIL {what}: exit {result.returncode}, expected {expected}\n{result.stdout}")
    cycle = run({"low/a.h": ""}, TABLE + "a: b\nb: c\nc: a\n")
    if cycle.returncode != 1 or "a -> b -> c -> a" not in cycle.stdout:
        failures += 1
        print(f"FAIL a cycle in the table is refused and named\n{cycle.stdout}")
    print(f"{len(CASES) + 1 - failures} of {len(CASES) + 1} cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
