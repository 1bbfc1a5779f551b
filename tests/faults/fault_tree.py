#!/usr/bin/env python3
"""Keeps a copy of the source tree for the fault check, and applies one fault to it.

  fault_tree.py sync CHECKOUT COPY   make COPY hold exactly the checkout's files (tracked and
                                     untracked, not ignored) besides its build/ folder; only
                                     changed files are rewritten, so an incremental build
                                     recompiles what a fault touched
  fault_tree.py apply COPY FAULT     apply one fault file to COPY and print the paths it changed

A fault file holds a '#' description, then for each source file an '@@ path' line followed by
hunks: lines starting with '-' (the code to find) directly followed by lines starting with '+'
(what replaces it). The '-' lines are compared without their leading and trailing blanks and
must match exactly one place in the file, so a fault survives reformatting and moved code but
never lands somewhere unintended.
"""
import os
import subprocess
import sys
from pathlib import Path


def parse(fault_text):
    """Returns [(path, [(find_lines, replace_lines)])] in file order."""
    files = []
    for raw in fault_text.splitlines():
        if raw.startswith("#") or not raw.strip():
            continue
        if raw.startswith("@@ "):
            files.append((raw[3:].strip(), []))
            continue
        kind, text = raw[0], raw[1:]
        if kind not in "-+" or not files:
            raise ValueError(f"unexpected line: {raw}")
        hunks = files[-1][1]
        if kind == "-" and (not hunks or hunks[-1][1]):
            hunks.append(([], []))
        if not hunks:
            raise ValueError(f"'+' line before any '-' line: {raw}")
        hunks[-1][0 if kind == "-" else 1].append(text)
    return files


def apply_hunk(lines, find, replace, where):
    wanted = [line.strip() for line in find]
    stripped = [line.strip() for line in lines]
    places = [i for i in range(len(lines) - len(wanted) + 1)
              if stripped[i:i + len(wanted)] == wanted]
    if len(places) != 1:
        raise ValueError(f"{where}: {len(places)} places match '{find[0].strip()}'")
    start = places[0]
    return lines[:start] + [line + "\n" for line in replace] + lines[start + len(wanted):]


def tree_files(checkout):
    listing = subprocess.run(
        ["git", "-C", str(checkout), "ls-files", "-z", "-co", "--exclude-standard"],
        check=True, capture_output=True).stdout
    return sorted({name for name in listing.decode().split("\0") if name})


def same(source, target):
    if source.is_symlink() or target.is_symlink():
        return (source.is_symlink() and target.is_symlink()
                and os.readlink(source) == os.readlink(target))
    return target.is_file() and source.read_bytes() == target.read_bytes()


def sync(checkout, copy):
    names = tree_files(checkout)
    for name in names:
        source, target = checkout / name, copy / name
        if not source.is_symlink() and not source.is_file():
            continue  # listed but deleted in the working tree
        if same(source, target):
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        if target.is_symlink() or target.exists():
            target.unlink()
        if source.is_symlink():
            target.symlink_to(os.readlink(source))
        else:
            target.write_bytes(source.read_bytes())
            target.chmod(source.stat().st_mode & 0o777)
    wanted = set(names)
    for directory, subdirectories, files in os.walk(copy):
        if Path(directory) == copy and "build" in subdirectories:
            subdirectories.remove("build")
        links = [name for name in subdirectories if (Path(directory) / name).is_symlink()]
        for file in files + links:
            path = Path(directory) / file
            if str(path.relative_to(copy)) not in wanted:
                path.unlink()


def apply(copy, fault):
    try:
        changes = parse(fault.read_text())
        edited = []
        for path, hunks in changes:
            lines = (copy / path).read_text().splitlines(keepends=True)
            for find, replace in hunks:
                lines = apply_hunk(lines, find, replace, path)
            edited.append((path, "".join(lines)))
    except (OSError, ValueError) as error:
        sys.exit(f"{fault.name}: {error}")
    # Written only once every hunk matched: a fault applies whole or not at all.
    for path, text in edited:
        (copy / path).write_text(text)
        print(path)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("sync", "apply"):
        sys.exit("usage: fault_tree.py sync CHECKOUT COPY | fault_tree.py apply COPY FAULT")
    first, second = Path(sys.argv[2]), Path(sys.argv[3])
    if sys.argv[1] == "sync":
        second.mkdir(parents=True, exist_ok=True)
        sync(first, second)
    else:
        apply(first, second)


if __name__ == "__main__":
    main()
