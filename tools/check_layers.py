#!/usr/bin/env python3
"""Check every #include "..." of the source tree against tools/layers.txt.

Usage: check_layers.py [ROOT]   (ROOT defaults to the folder above tools/)

Each line of the table names a folder and the folders it may include. A file
belongs to the longest folder of the table that holds it; an include is
resolved as the compiler does for quoted includes (beside the including file
first, then from the top of the tree) and belongs to the longest folder that
holds the file it names. Prints every include the table does not allow and
every source folder the table does not know, and exits 1 when there is any;
also exits 1 when the table itself lets folders include each other in a cycle
(one-way floors: within a floor too, the includes run one way).
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".hh", ".c", ".cc", ".cpp", ".cxx", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def read_table(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            folder, sep, allowed = line.partition(":")
            folder = folder.strip().strip("/")
            if not sep or not folder:
                raise SystemExit(f"{path}:{number}: expected 'folder: folders it may include'")
            if folder in table:
                raise SystemExit(f"{path}:{number}: second line for {folder}")
            table[folder] = {a.strip("/") for a in allowed.split()}
    return table


def cycle_in(table):
    """A cycle of folders that the table lets include each other, or None."""
    state = {}

    def visit(folder, path):
        state[folder] = "open"
        for below in sorted(table.get(folder, ())):
            if below == "*" or below not in table:
                continue
            if state.get(below) == "open":
                return path[path.index(below):] + [below]
            if below not in state:
                found = visit(below, path + [below])
                if found:
                    return found
        state[folder] = "done"
        return None

    for folder in sorted(table):
        if folder not in state and "*" not in table[folder]:
            found = visit(folder, [folder])
            if found:
                return found
    return None


def owner(table, relative):
    """The longest folder of the table that holds `relative`, or None."""
    parts = relative.split("/")
    for n in range(len(parts) - 1, 0, -1):
        folder = "/".join(parts[:n])
        if folder in table:
            return folder
    return None


def source_files(root):
    for folder, dirs, files in os.walk(root):
        # Build folders, hidden folders (.git, .ci) and the tools are no sources.
        dirs[:] = sorted(d for d in dirs
                         if not d.startswith(".") and not d.startswith("build"))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def resolve(root, relative, included):
    """The tree-relative path a quoted include names, as the compiler finds it."""
    beside = os.path.normpath(os.path.join(os.path.dirname(relative), included))
    if os.path.isfile(os.path.join(root, beside)):
        return beside.replace(os.sep, "/")
    return os.path.normpath(included).replace(os.sep, "/")


def check(root, table):
    problems = []
    unknown = set()
    for relative in source_files(root):
        if "/" not in relative:
            continue  # nothing of ours lives at the top
        source = owner(table, relative)
        if source is None:
            unknown.add(relative.split("/")[0])
            continue
        allowed = table[source]
        if "*" in allowed:
            continue
        with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(root, relative, match.group(1))
                target_folder = owner(table, target)
                if target_folder is None:
                    if os.path.isfile(os.path.join(root, target)):
                        problems.append(f"{relative}:{number}: includes {match.group(1)}, "
                                        "a folder tools/layers.txt does not know")
                    continue  # a generated or system header, not ours
                if target_folder == source:
                    continue
                if target_folder not in allowed:
                    problems.append(f"{relative}:{number}: {source}/ may not include "
                                    f"{match.group(1)} ({target_folder}/)")
    for folder in sorted(unknown):
        problems.append(f"{folder}/: source folder without a line in tools/layers.txt")
    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.dirname(here)
    table = read_table(os.path.join(root, "tools", "layers.txt"))
    cycle = cycle_in(table)
    if cycle:
        print("tools/layers.txt: a cycle of folders: " + " -> ".join(cycle))
        return 1
    problems = check(root, table)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} problem(s) against the layers of tools/layers.txt")
        return 1
    print("layers: every include goes down or stays in its folder")
    return 0


if __name__ == "__main__":
    sys.exit(main())
