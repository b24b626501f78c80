#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails unless the Pascal unit defines every numeric constant of the header
(#define and enum values, QUORVEL_*) with the same value.

Usage: check_constants.py HEADER PASCAL_UNIT
"""
import re
import sys
from pathlib import Path


def main(header, unit):
    text = Path(header).read_text()
    expected = dict(re.findall(r"#define (QUORVEL_\w+) (-?\d+)\b", text))
    expected.update(re.findall(r"^\s*(QUORVEL_\w+) = (-?\d+),?", text, re.MULTILINE))
    found = dict(re.findall(r"^\s*(QUORVEL_\w+) = (-?\d+);", Path(unit).read_text(), re.MULTILINE))
    problems = [f"{name}: header {value}, unit {found.get(name, 'missing')}"
                for name, value in sorted(expected.items()) if found.get(name) != value]
    for problem in problems:
        print(problem)
    print(f"{len(expected) - len(problems)} of {len(expected)} constants of the header in the unit")
    return 1 if problems or len(expected) < 50 else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
