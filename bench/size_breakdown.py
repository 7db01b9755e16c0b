#!/usr/bin/env python3
"""Where a program's bytes come from, from the GNU linker's map file.

    bench/size_breakdown.py SelectLanguage.map [--members LIBRARY]

Prints the bytes of each output section, then of each library (an archive;
"our code" for the project's own libraries and objects and what link-time
optimisation made of them; "resources" for the resource section) per
section, largest first; with --members, the members of one
archive instead. Sections the linker discarded do not count.
"""
import argparse
import collections
import re

SECTION = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+")
INPUT = re.compile(r"^ (\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
NAME_ONLY = re.compile(r"^ (\S+)$")
CONTINUED = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")


def input_sections(path):
    """(output section, input file, bytes) for every placed input section."""
    placed = False  # the discarded sections are listed first
    section = None
    pending = False  # a long input section name, its numbers on the next line
    with open(path, errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                placed = True
                continue
            if not placed:
                continue
            match = SECTION.match(line)
            if match or (line and not line[0].isspace()):
                section = match.group(1) if match else None
                pending = False
                continue
            match = INPUT.match(line)
            if match and section:
                yield section, match.group(3), int(match.group(2), 16)
                pending = False
                continue
            if NAME_ONLY.match(line):
                pending = True
                continue
            match = CONTINUED.match(line)
            if match and pending and section:
                yield section, match.group(2), int(match.group(1), 16)
            pending = False


def library(section, path):
    if section == ".rsrc":
        return "resources"
    archive = re.search(r"([^/]+\.a)\(", path)
    if archive:
        return "our code" if archive.group(1).startswith("libzk_") else archive.group(1)
    if ".ltrans" in path or "CMakeFiles/" in path:
        return "our code"
    if " " in path:
        return "(the linker's own)"
    return path.rsplit("/", 1)[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("map")
    parser.add_argument("--members", metavar="LIBRARY")
    parser.add_argument("--top", type=int, default=25)
    args = parser.parse_args()
    sections = collections.Counter()
    parts = collections.Counter()
    for section, path, size in input_sections(args.map):
        if size == 0:
            continue
        sections[section] += size
        if args.members:
            if library(section, path) == args.members:
                parts[(path.rsplit("(", 1)[-1].rstrip(")"), section)] += size
        else:
            parts[(library(section, path), section)] += size
    print("section      bytes")
    for section, size in sections.most_common():
        print(f"{section:10} {size:9,}")
    print()
    print(f"{'member' if args.members else 'library':36} {'section':10} bytes")
    for (name, section), size in parts.most_common(args.top):
        print(f"{name:36} {section:10} {size:9,}")


if __name__ == "__main__":
    main()
