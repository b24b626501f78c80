#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that every source file's first comment holds an SPDX licence line.

    check_spdx_headers.py SOURCE_DIR [LICENCE]

Source files are those git tracks with a C, C++, CMake, shell, Python or
pkg-config template name (Debian control files take no comments).
The first comment is the run of comment lines at the top of the file (after a
#! line); it must hold "SPDX-License-Identifier: LICENCE" (default MIT).
Prints each file that lacks it and exits 1 if any does.
"""
import pathlib
import re
import subprocess
import sys

HASH_COMMENTS = re.compile(r"(\.(cmake|sh|py)(\.in)?|\.pc\.in|CMakeLists\.txt)$")
SLASH_COMMENTS = re.compile(r"\.(c|cc|cpp|h|hpp)$")


def first_comment(lines, hash_style):
    """The lines of the file's first comment, markers included."""
    if lines and lines[0].startswith("#!"):
        lines = lines[1:]
    comment = []
    in_block = False
    for line in lines:
        text = line.strip()
        if hash_style:
            if not text.startswith("#"):
                break
        elif in_block:
            in_block = "*/" not in text
        elif text.startswith("/*"):
            in_block = "*/" not in text
        elif not text.startswith("//"):
            break
        comment.append(text)
    return comment


def main():
    root = pathlib.Path(sys.argv[1])
    licence = sys.argv[2] if len(sys.argv) > 2 else "MIT"
    wanted = "SPDX-License-Identifier: " + licence
    names = subprocess.run(["git", "-C", str(root), "ls-files"], check=True,
                           capture_output=True, text=True).stdout.split()
    missing = []
    checked = 0
    for name in names:
        hash_style = bool(HASH_COMMENTS.search(name))
        if not hash_style and not SLASH_COMMENTS.search(name):
            continue
        path = root / name
        if not path.is_file():
            continue
        checked += 1
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        if not any(wanted in line for line in first_comment(lines, hash_style)):
            missing.append(name)
    for name in missing:
        print(f"no '{wanted}' in the first comment: {name}")
    print(f"{checked} source files checked, {len(missing)} without the line")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
