#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails unless every function the C# and Pascal bindings import takes, in a
32-bit process, the argument bytes the __stdcall function in Quorvel.dll
takes off the stack.

On x64 every argument travels in its own register or 8-byte slot, so a binding
that declares a C int as a 64-bit integer still works there; in a 32-bit
process it pushes 4 bytes too many and the stack is unbalanced after the call.
This check compares, per function, the bytes each binding pushes on i386 with
the bytes quorvel.h gives (cmake/quorvel_api.py), and that the name it imports
is a function of the header.

Usage: check_x86_stack.py HEADER DEF Quorvel.cs quorvel.pas
"""
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "cmake"))
import quorvel_api  # noqa: E402

# Bytes pushed in a 32-bit process per by-value argument type; every reference
# (arrays, strings, ref/out/var/const parameters, pointers) pushes 4.
CSHARP = {"int": 4, "uint": 4, "short": 4, "ushort": 4, "byte": 4, "sbyte": 4, "bool": 4,
          "float": 4, "IntPtr": 4, "UIntPtr": 4, "string": 4, "StringBuilder": 4,
          "long": 8, "ulong": 8, "double": 8}
PASCAL = {"integer": 4, "longint": 4, "cardinal": 4, "longword": 4, "int32": 4, "uint32": 4,
          "integer32": 4, "byte": 4, "word": 4, "smallint": 4, "boolean": 4, "longbool": 4,
          "pointer": 4, "pansichar": 4, "pchar": 4, "single": 4,
          "int64": 8, "uint64": 8, "qword": 8, "double": 8}


def csharp_imports(text):
    """(imported name, bytes) for each [DllImport] extern method."""
    found = []
    for m in re.finditer(r"\[DllImport\(([^]]*)\)\]\s*(?:public|internal|private)?\s*static\s+extern\s+"
                         r"[\w.\[\]]+\s+(\w+)\s*\(([^)]*)\)\s*;", text):
        entry = re.search(r'EntryPoint\s*=\s*"(\w+)"', m.group(1))
        name = entry.group(1) if entry else m.group(2)
        total = 0
        args = re.sub(r"\[[^]]*\]", " ", m.group(3)).strip()
        for arg in filter(None, (a.strip() for a in args.split(",") if args)):
            words = arg.split()
            if words[0] in ("ref", "out", "in") or words[0].endswith("[]"):
                total += 4
            elif words[0] in CSHARP:
                total += CSHARP[words[0]]
            else:
                raise SystemExit(f"check_x86_stack: {name}: no i386 size for C# type '{words[0]}'")
        found.append((name, total, f"Quorvel.cs {m.group(2)}"))
    return found


def pascal_imports(text):
    """(imported name, bytes) for each external function or procedure."""
    found = []
    for m in re.finditer(r"^\s*(?:function|procedure)\s+(\w+)\s*(?:\(([^)]*)\))?[^;]*;\s*stdcall;\s*"
                         r"external\s+\w+\s+name\s+'(\w+)'", text, re.M | re.I):
        total = 0
        for group in filter(None, (g.strip() for g in (m.group(2) or "").split(";"))):
            names, _, type_name = group.rpartition(":")
            count = len([n for n in names.split(",") if n.strip()])
            by_reference = re.match(r"\s*(var|const|out|constref)\b", names, re.I)
            type_name = type_name.strip()
            if by_reference or type_name.lower().startswith("p") and type_name.lower() not in PASCAL:
                size = 4  # a reference, or a typed pointer (PInteger32, PQuorvelStatus, ...)
            elif type_name.lower() in PASCAL:
                size = PASCAL[type_name.lower()]
            else:
                raise SystemExit(f"check_x86_stack: {m.group(3)}: no i386 size for Pascal type '{type_name}'")
            total += count * size
        found.append((m.group(3), total, f"quorvel.pas {m.group(1)}"))
    return found


def main(header, def_file, csharp, pascal):
    expected = {f.name: f.stack_bytes() for f in quorvel_api.read_api(header, def_file)}
    problems = []
    for imports in (csharp_imports(Path(csharp).read_text()), pascal_imports(Path(pascal).read_text())):
        if len(imports) < 35:
            problems.append(f"only {len(imports)} imports read from {imports[0][2] if imports else '?'}")
        for name, pushed, where in imports:
            if name not in expected:
                problems.append(f"{where}: imports {name}, not a function of the header")
            elif pushed != expected[name]:
                problems.append(f"{where}: pushes {pushed} bytes in a 32-bit process, "
                                f"{name} takes {expected[name]}")
        missing = sorted(set(expected) - {name for name, _, _ in imports})
        if missing and imports:
            print(f"{imports[0][2].split()[0]} does not bind: {', '.join(missing)}")
    for problem in problems:
        print(problem)
    print(f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
