#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails when an exported function lacks documentation in the public header.

Runs doxygen on the header (XML output only, into a scratch directory) and
checks, for every name in the export table: a declaration in the header, a
brief description, a description of every parameter by its name and of the
result (unless it returns void). Also checks that the version macros, the
text of Le_VersaoDLL and the DLL's version resource agree with the project
version.

Usage: check_api_docs.py DOXYGEN HEADER DEF_FILE WORK_DIR PROJECT_VERSION
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def text_of(element):
    return "".join(element.itertext()).strip() if element is not None else ""


def exported_names(def_file):
    names = []
    for line in Path(def_file).read_text().splitlines():
        match = re.match(r"\s*([A-Za-z_][A-Za-z0-9_]*)\s+@\d+", line)
        if match:
            names.append(match.group(1))
    return names


def run_doxygen(doxygen, header, work):
    work.mkdir(parents=True, exist_ok=True)
    config = f"""
INPUT = {header}
OUTPUT_DIRECTORY = {work}
GENERATE_HTML = NO
GENERATE_LATEX = NO
GENERATE_XML = YES
OPTIMIZE_OUTPUT_FOR_C = YES
JAVADOC_AUTOBRIEF = YES
ENABLE_PREPROCESSING = YES
MACRO_EXPANSION = YES
EXPAND_ONLY_PREDEF = YES
PREDEFINED = QUORVEL_API= QUORVEL_CALL= __cplusplus
QUIET = YES
WARN_LOGFILE = {work}/warnings.log
"""
    subprocess.run([doxygen, "-"], input=config, text=True, check=True)
    return ET.parse(work / "xml" / (Path(header).name.replace(".", "_8") + ".xml"))


def check_function(member):
    """Problems with one function's documentation, as a list of strings."""
    problems = []
    if not text_of(member.find("briefdescription")):
        problems.append("no brief description")
    detail = member.find("detaileddescription")
    documented = set()
    for name in detail.iter("parametername"):
        documented.add(text_of(name))
    for param in member.findall("param"):
        declname = text_of(param.find("declname"))
        if declname and declname not in documented:
            problems.append(f"parameter '{declname}' undocumented")
    returns_void = text_of(member.find("type")) == "void"
    has_return = any(s.get("kind") == "return" for s in detail.iter("simplesect"))
    if not returns_void and not has_return:
        problems.append("result undocumented")
    return problems


def main(doxygen, header, def_file, work, project_version):
    tree = run_doxygen(doxygen, header, Path(work))
    functions = {text_of(m.find("name")): m
                 for m in tree.iter("memberdef") if m.get("kind") == "function"}
    failures = []
    names = exported_names(def_file)
    undocumented = 0
    for name in names:
        member = functions.get(name)
        problems = check_function(member) if member is not None else ["not declared"]
        failures += [f"{name}: {problem}" for problem in problems]
        undocumented += 1 if problems else 0

    macros = dict(re.findall(r"#define QUORVEL_VERSION_(MAJOR|MINOR|PATCH) (\d+)",
                             Path(header).read_text()))
    header_version = ".".join(macros.get(part, "?") for part in ("MAJOR", "MINOR", "PATCH"))
    if header_version != project_version:
        failures.append(f"version macros say {header_version}, the project {project_version}")
    # Le_VersaoDLL's text and the DLL's version resource, beside the header.
    four_part = project_version + ".0"
    for source in ("version.cpp", "version.rc"):
        path = Path(header).parent / source
        texts = set(re.findall(r'"(\d+\.\d+\.\d+\.\d+)"', path.read_text()))
        if texts != {four_part}:
            failures.append(f"{source} says {sorted(texts)}, the project {four_part}")

    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(names) - undocumented} of {len(names)} exported functions documented; "
          f"version macros {header_version}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
