#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Builds the Python package's wheel offline and unpacks it as installed files.

    python-wheel.py SOURCE_DIR WORK_DIR DEST_DIR

SOURCE_DIR holds pyproject.toml and its in-tree build backend (which uses the
system's setuptools and wheel); the wheel is built in WORK_DIR and its files
(the quorvel package and its .dist-info, whose entry_points.txt makes pytest
load quorvel.testing by itself) go into DEST_DIR, a dist-packages folder.
A pure-Python wheel holds nothing else, so unpacking it is installing it;
dh_python3 then drops the RECORD and byte-compiles on the target.
"""
import os
import pathlib
import sys
import zipfile

source, work, dest = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
work.mkdir(parents=True, exist_ok=True)
os.chdir(source)
sys.path.insert(0, str(source / "build_backend"))
import offline_setuptools  # noqa: E402

name = offline_setuptools.build_wheel(str(work))
with zipfile.ZipFile(work / name) as wheel:
    members = wheel.namelist()
    unexpected = [m for m in members if not m.startswith(("quorvel/", "quorvel-"))]
    if unexpected or any(m.endswith((".so", ".so.1", ".dll")) for m in members):
        sys.exit(f"python-wheel: unexpected files in {name}: {unexpected or members}")
    wheel.extractall(dest)
print(f"python-wheel: {name} unpacked into {dest} ({len(members)} files)")
