#!/usr/bin/env python3
"""Keeps a copy of the source tree for the fault check, and applies one fault to it.

  fault_tree.py sync CHECKOUT COPY   COPY holds exactly the checkout's files (tracked and
                                     untracked, not ignored) besides its build/; only changed
                                     files are rewritten, so the build stays incremental
  fault_tree.py apply COPY FAULT     applies one fault file, whole or not at all

A fault file: a '#' description, then per source file an '@@ path' line and hunks of '-' lines
(the code to find, compared without leading and trailing blanks, in exactly one place) directly
followed by '+' lines (what replaces it).
"""
import os
import subprocess
import sys
from pathlib import Path


def parse(text):
    files = []  # [(path, [(find, replace)])]
    for raw in text.splitlines():
        if raw.startswith("#") or not raw.strip():
            continue
        if raw.startswith("@@ "):
            files.append((raw[3:].strip(), []))
        elif raw[0] not in "-+" or not files or (raw[0] == "+" and not files[-1][1]):
            raise ValueError(f"unexpected line: {raw}")
        else:
            hunks = files[-1][1]
            if raw[0] == "-" and (not hunks or hunks[-1][1]):
                hunks.append(([], []))
            hunks[-1][raw[0] == "+"].append(raw[1:])
    return files


def apply(copy, fault):
    edited = []
    try:
        for path, hunks in parse(fault.read_text()):
            lines = (copy / path).read_text().splitlines(keepends=True)
            for find, replace in hunks:
                wanted, stripped = [x.strip() for x in find], [x.strip() for x in lines]
                places = [i for i in range(len(lines) - len(wanted) + 1)
                          if stripped[i:i + len(wanted)] == wanted]
                if len(places) != 1:
                    raise ValueError(f"{path}: {len(places)} places match '{wanted[0]}'")
                at = places[0]
                lines[at:at + len(wanted)] = [x + "\n" for x in replace]
            edited.append((path, "".join(lines)))
    except (OSError, ValueError) as error:
        sys.exit(f"{fault.name}: {error}")
    for path, text in edited:
        (copy / path).write_text(text)
        print(path)


def sync(checkout, copy):
    listing = subprocess.run(["git", "-C", str(checkout), "ls-files", "-z", "-co",
                              "--exclude-standard"], check=True, capture_output=True).stdout
    names = {name for name in listing.decode().split("\0") if name}
    for name in sorted(names):
        source, target = checkout / name, copy / name
        if source.is_symlink():
            if target.is_symlink() and os.readlink(source) == os.readlink(target):
                continue
        elif not source.is_file():
            continue  # listed but deleted in the working tree
        elif not target.is_symlink() and target.is_file() and \
                source.read_bytes() == target.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        if target.is_symlink() or target.exists():
            target.unlink()
        if source.is_symlink():
            target.symlink_to(os.readlink(source))
        else:
            target.write_bytes(source.read_bytes())
            target.chmod(source.stat().st_mode & 0o777)
    for directory, subdirectories, files in os.walk(copy):
        if Path(directory) == copy and "build" in subdirectories:
            subdirectories.remove("build")
        links = [name for name in subdirectories if (Path(directory) / name).is_symlink()]
        for file in files + links:
            if str((Path(directory) / file).relative_to(copy)) not in names:
                (Path(directory) / file).unlink()


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("sync", "apply"):
        sys.exit("usage: fault_tree.py sync CHECKOUT COPY | fault_tree.py apply COPY FAULT")
    first, second = Path(sys.argv[2]), Path(sys.argv[3])
    if sys.argv[1] == "sync":
        second.mkdir(parents=True, exist_ok=True)
    (sync if sys.argv[1] == "sync" else apply)(first, second)
