#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that scripts/debian-packages.txt names everything a fresh machine needs.

    check_package_list.py SOURCE_DIR

Fails (exit 1, one line per gap) when
  - a package of debian/control's Build-Depends (-Arch, -Indep) is not in the
    list: `debhelper-compat` counts as debhelper, `dh-sequence-X` as the
    package that ships it, and one listed alternative of `a | b` is enough;
  - a program that a test stage (scripts/test.d/*.sh, and the repository's
    scripts those call) runs comes from a package that is neither in the list,
    nor pulled in by one in it (Depends, Pre-Depends, as installed here), nor
    part of every Debian system (Essential: yes or Priority: required).
The programs are the script's words, outside comments and single-quoted text,
that name a program on Debian's PATH (/usr/bin, /bin, /usr/sbin, /sbin), shell
builtins aside; words built from variables ("$wine") are not known here.
"""
import pathlib
import re
import shutil
import subprocess
import sys

# debian/control names whose package is not their own name.
BUILD_DEP_PACKAGE = {"debhelper-compat": "debhelper"}
KEYWORDS = {"if", "then", "else", "elif", "fi", "for", "while", "until", "do", "done", "case", "esac",
            "in", "function", "select", "time", "!", "{", "}", "[[", "]]", "coproc"}
BUILTINS = {"cd", "echo", "printf", "read", "set", "unset", "export", "local", "return", "exit", "shift",
            "trap", "source", ".", ":", "true", "false", "test", "[", "eval", "exec", "wait", "mapfile",
            "readarray", "declare", "typeset", "command", "type", "break", "continue", "pushd", "popd",
            "let", "kill", "hash", "builtin", "ulimit", "umask", "getopts", "jobs", "fg", "bg", "disown"}


def listed_packages(source):
    lines = (source / "scripts/debian-packages.txt").read_text().splitlines()
    return {line.split("#")[0].strip() for line in lines if line.split("#")[0].strip()}


def build_depends(source):
    """Each Build-Depends entry as its list of alternatives (bare package names)."""
    text = (source / "debian/control").read_text()
    source_stanza = text.split("\n\n")[0]
    fields = re.findall(r"^(Build-Depends(?:-Arch|-Indep)?):(.*(?:\n[ \t].*)*)", source_stanza, re.M)
    entries = []
    for _, value in fields:
        for entry in value.replace("\n", " ").split(","):
            alternatives = []
            for alt in entry.split("|"):
                name = re.sub(r"\(.*?\)|\[.*?\]|<.*?>", "", alt).strip().split(":")[0]
                if name:
                    alternatives.append(BUILD_DEP_PACKAGE.get(name, name))
            if alternatives:
                entries.append(alternatives)
    return entries


def dpkg_status():
    """Installed packages: name -> (essential, priority, dependency names)."""
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package}\t${Essential}\t${Priority}\t${Depends}, "
                          "${Pre-Depends}\t${Provides}\n"], capture_output=True, text=True, check=True).stdout
    packages, provides = {}, {}
    for line in out.splitlines():
        name, essential, priority, depends, provided = line.split("\t")
        names = set()
        for entry in depends.split(","):
            for alt in entry.split("|"):  # any alternative may be the one installed
                dep = re.sub(r"\(.*?\)", "", alt).strip().split(":")[0]
                if dep:
                    names.add(dep)
        packages[name] = (essential == "yes", priority, names)
        for virtual in provided.split(","):
            virtual = re.sub(r"\(.*?\)", "", virtual).strip()
            if virtual:
                provides.setdefault(virtual, set()).add(name)
    return packages, provides


def closure(roots, packages, provides):
    """The packages that installing ROOTS brings in (as installed here)."""
    seen, todo = set(), [r.split(":")[0] for r in roots]
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        todo.extend(provides.get(name, ()))
        if name in packages:
            todo.extend(packages[name][2])
    return seen


def stage_scripts(source):
    """The stage scripts and the repository scripts they run, transitively."""
    todo = sorted((source / "scripts/test.d").glob("*.sh"))
    seen = []
    while todo:
        path = todo.pop(0)
        if path in seen:
            continue
        seen.append(path)
        for word in re.findall(r"(?:^|[\s\"'])((?:scripts|tests)/[\w./-]+\.sh)\b", path.read_text()):
            if (source / word).is_file():
                todo.append(source / word)
    return seen


def commands(script):
    """The names in a shell script, outside comments and single-quoted text,
    that are programs on the system's PATH (shell builtins aside). A word that
    names a program but is only an argument (`--target cmake`) is checked too:
    a stricter list does no harm."""
    text = "\n".join(re.sub(r"(^|\s)#.*", "", line) for line in script.read_text().splitlines())
    text = re.sub(r"'[^'\n]*'", "''", text)
    names = set()
    for word in re.findall(r"(?<![\w./$@%{:=-])[a-z][\w.+-]*(?![\w/=])", text):
        if word not in BUILTINS and word not in KEYWORDS and system_which(word):
            names.add(word)
    return names


def system_which(command):
    """The program's path on Debian's PATH (not /usr/local, not a user's own)."""
    return shutil.which(command, path="/usr/sbin:/usr/bin:/sbin:/bin")


def packages_of(commands):
    """command -> (its path or None, the package shipping it or None), in one dpkg query."""
    paths = {c: system_which(c) for c in commands}
    candidates = {}  # a path dpkg may know -> the command
    for command, path in paths.items():
        if path:
            for candidate in (path, str(pathlib.Path(path).resolve())):
                candidates[candidate] = command
                # /usr-merge: dpkg may know /bin/x where PATH finds /usr/bin/x
                candidates[re.sub(r"^/usr/(s?bin)/", r"/\1/", candidate)] = command
    out = subprocess.run(["dpkg-query", "-S", *candidates], capture_output=True, text=True).stdout
    owners = {}
    for line in out.splitlines():
        package, _, path = line.partition(": ")
        if path in candidates and "diversion" not in package:
            owners.setdefault(candidates[path], package.split(",")[0].split(":")[0].strip())
    return {c: (paths[c], owners.get(c)) for c in commands}


def main():
    source = pathlib.Path(sys.argv[1])
    listed = listed_packages(source)
    listed_names = {name.split(":")[0] for name in listed}
    gaps = []
    for alternatives in build_depends(source):
        if not any(alt in listed_names for alt in alternatives):
            gaps.append(f"debian/control Build-Depends {' | '.join(alternatives)}: "
                        "not in scripts/debian-packages.txt")
    packages, provides = dpkg_status()
    brought = closure(listed, packages, provides)
    used = {script: sorted(commands(script)) for script in stage_scripts(source)}
    owners = packages_of({c for names in used.values() for c in names})
    for script, names in used.items():
        for command in names:
            path, package = owners[command]
            where = script.relative_to(source)
            if package is None:
                gaps.append(f"{where}: runs {command} ({path}), which no Debian package ships")
            elif package not in brought and not (package in packages and (
                    packages[package][0] or packages[package][1] == "required")):
                gaps.append(f"{where}: runs {command} from package {package}, "
                            "which scripts/debian-packages.txt does not bring in")
    for gap in gaps:
        print(gap)
    return 1 if gaps else 0


if __name__ == "__main__":
    sys.exit(main())
