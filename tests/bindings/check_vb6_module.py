#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Fails unless the Visual Basic 6 module declares the library as the header does.

Every function of quorvel.h needs one `Declare` line in the module, with the
same name, its ordinal from quorvel.def in a trailing `' @N` comment, and one
argument per C argument, passed as the table below says (so VB pushes the bytes
the __stdcall function takes off the stack). Every numeric constant of the
header needs a `Public Const` of the same value, and Type QuorvelStatus the
fields of struct quorvel_status. A missing Declare is reported with the line
to add.

The kernel32 functions the module's helpers use must be declared as KERNEL32
says. Each example file given after the module (form code, .bas) may call the
library only with as many arguments as the function takes, and must not test a
result against True or with Not: results are 1 and 0, VB's True is -1.

Usage: check_vb6_module.py HEADER DEF MODULE [EXAMPLE...]
"""
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "cmake"))
import quorvel_api  # noqa: E402  (cmake/quorvel_api.py reads the header and the .def)

# C argument type -> how VB6 passes it. Integers of 32 bits or less go ByVal
# As Long; text ByVal As String (VB hands over a NUL-terminated ANSI copy and
# copies back what the function wrote); arrays ByRef to their first element;
# 64-bit integers ByVal As Currency (8 bytes); opaque handles ByVal As Long.
BY_VALUE = {"int": "Long", "unsigned": "Long", "unsigned int": "Long", "long": "Long",
            "unsigned long": "Long", "int32_t": "Long", "uint32_t": "Long", "size_t": "Long",
            "short": "Integer", "unsigned short": "Integer", "int16_t": "Integer",
            "uint16_t": "Integer", "char": "Byte", "unsigned char": "Byte", "uint8_t": "Byte",
            "int8_t": "Byte", "bool": "Long", "float": "Single", "double": "Double",
            "int64_t": "Currency", "uint64_t": "Currency", "long long": "Currency",
            "unsigned long long": "Currency"}
BY_REFERENCE = {"char": ("ByVal", "String"), "int": ("ByRef", "Long"),
                "unsigned char": ("ByRef", "Byte"), "uint8_t": ("ByRef", "Byte"),
                "void": ("ByRef", "Any"), "quorvel_status": ("ByRef", "QuorvelStatus")}
# Arguments passed otherwise than their C type says, and why.
ARGUMENT_OVERRIDES = {
    # UTF-8 in, Windows-1252 out: a String would go through the ANSI code page.
    ("quorvel_utf8_to_cp1252", "utf8"): ("ByRef", "Byte"),
    ("quorvel_utf8_to_cp1252", "out"): ("ByRef", "Byte"),
}
# Other DLLs' functions the module declares for its helpers: the exact line.
HELPER_DECLARES = {
    "lstrlenA": 'Public Declare Function lstrlenA Lib "kernel32" (ByVal text As Long) As Long',
    "lstrcpyA": 'Public Declare Function lstrcpyA Lib "kernel32" (ByVal dest As String, '
                'ByVal source As Long) As Long',
}
VB_STACK_BYTES = {"Currency": 8, "Double": 8}
VB_KEYWORDS = {"error", "width", "name", "open", "close", "print", "input", "line",
               "len", "mid", "left", "right", "date", "time", "get", "put", "seek", "type"}


def vb_argument(param, function=""):
    """(passing, VB type) for a header argument."""
    if (function, param.name) in ARGUMENT_OVERRIDES:
        return ARGUMENT_OVERRIDES[(function, param.name)]
    if param.pointer:
        base = param.base
        if base in BY_REFERENCE:
            return BY_REFERENCE[base]
        if param.type.startswith("struct "):
            raise SystemExit(f"check_vb6_module: no VB6 Type for {param.type}")
        return ("ByVal", "Long")  # an opaque handle
    if param.type.startswith("enum "):
        return ("ByVal", "Long")
    if param.base not in BY_VALUE:
        raise SystemExit(f"check_vb6_module: no VB6 type for {param.type}")
    return ("ByVal", BY_VALUE[param.base])


def vb_result(returns):
    if returns == "void":
        return None
    if returns.endswith("*"):
        return "Long"  # an address (Le_VersaoDLL: copy the text with lstrcpyA)
    return BY_VALUE.get(quorvel_api.Param(returns, "").base, "Long")


def suggest(function):
    """The Declare line this script expects for a function."""
    args = []
    for p in function.params:
        passing, vb_type = vb_argument(p, function.name)
        name = p.name + "_" if p.name.lower() in VB_KEYWORDS else p.name
        args.append(f"{passing} {name} As {vb_type}")
    result = vb_result(function.returns)
    kind, tail = ("Function", f" As {result}") if result else ("Sub", "")
    return (f'Public Declare {kind} {function.name} Lib "Quorvel.dll" ({", ".join(args)}){tail}'
            f" ' @{function.ordinal}")


DECLARE = re.compile(r'^\s*(?:Public\s+|Private\s+)?Declare\s+(Function|Sub)\s+(\w+)\s+Lib\s+'
                     r'"Quorvel\.dll"\s*(?:Alias\s+"(\w+)"\s*)?\(([^)]*)\)\s*(?:As\s+(\w+))?'
                     r"\s*(?:'\s*@(\d+))?\s*$", re.I)
ARGUMENT = re.compile(r"^\s*(ByVal|ByRef)\s+(\w+)\s+As\s+(\w+)\s*$", re.I)


def check_declares(functions, module_lines, problems):
    declared, declared_helpers = {}, set()
    for number, line in enumerate(module_lines, 1):
        if re.match(r"^\s*(Public\s+|Private\s+)?Declare\b", line, re.I):
            helper = re.match(r"^\s*(?:Public\s+|Private\s+)?Declare\s+\w+\s+(\w+)\s+Lib\s+\"(?!Quorvel\.dll\")",
                              line, re.I)
            if helper:
                name = helper.group(1)
                if HELPER_DECLARES.get(name) != line.strip():
                    problems.append(f"line {number}: {line.strip()}\n    expected: "
                                    f"{HELPER_DECLARES.get(name, 'no other DLL function but ' + ', '.join(HELPER_DECLARES))}")
                declared_helpers.add(name)
                continue
            m = DECLARE.match(line)
            if not m:
                problems.append(f"line {number}: not a one-line Declare of Quorvel.dll: {line}")
                continue
            declared[m.group(3) or m.group(2)] = (number, m)
    for f in functions:
        if f.name not in declared:
            problems.append(f"{f.name} (@{f.ordinal}) missing; add:\n    {suggest(f)}")
            continue
        number, m = declared.pop(f.name)
        where = f"line {number}, {f.name}"
        kind, args_text, result, ordinal = m.group(1), m.group(4).strip(), m.group(5), m.group(6)
        if ordinal is None or int(ordinal) != f.ordinal:
            problems.append(f"{where}: ordinal comment ' @{ordinal} instead of ' @{f.ordinal}")
        expected_result = vb_result(f.returns)
        if (kind.lower() == "sub") != (expected_result is None) or (
                expected_result and (result or "").lower() != expected_result.lower()):
            problems.append(f"{where}: returns {kind} As {result}, expected "
                            f"{'Sub' if expected_result is None else 'Function As ' + expected_result}")
        args = [a for a in args_text.split(",")] if args_text else []
        if len(args) != len(f.params):
            problems.append(f"{where}: {len(args)} arguments, the header has {len(f.params)}; "
                            f"expected:\n    {suggest(f)}")
            continue
        vb_bytes = 0
        for index, (arg, param) in enumerate(zip(args, f.params), 1):
            am = ARGUMENT.match(arg)
            if not am:
                problems.append(f"{where}: argument {index} '{arg.strip()}' needs ByVal/ByRef name As Type")
                continue
            passing, vb_type = am.group(1), am.group(3)
            vb_bytes += VB_STACK_BYTES.get(vb_type, 4) if passing.lower() == "byval" else 4
            want = vb_argument(param, f.name)
            if (passing.lower(), vb_type.lower()) != (want[0].lower(), want[1].lower()):
                problems.append(f"{where}: argument {index} ({param.type} {param.name}) is "
                                f"{passing} As {vb_type}, expected {want[0]} As {want[1]}")
        if vb_bytes != f.stack_bytes():
            problems.append(f"{where}: VB pushes {vb_bytes} bytes, the function takes {f.stack_bytes()}")
    for name, (number, _) in declared.items():
        problems.append(f"line {number}: {name} is not a function of the header")
    for name in sorted(set(HELPER_DECLARES) - declared_helpers):
        problems.append(f"{name} missing (the module's helpers use it); add:\n    {HELPER_DECLARES[name]}")


def call_arguments(text, start):
    """The argument count of the call whose '(' is at text[start] (None when it
    does not close), over line continuations (` _`)."""
    depth, quoted, inside = 0, False, []
    for c in text[start:]:
        if c == '"':
            quoted = not quoted
        elif not quoted and c == "(":
            depth += 1
        elif not quoted and c == ")":
            depth -= 1
            if depth == 0:
                break
        elif not quoted and c == "," and depth == 1:
            c = "\0"  # an argument separator at the call's own level
        inside.append(c)
    else:
        return None
    body = "".join(inside[1:]).replace("_\n", " ")
    return 0 if not body.strip() else body.count("\0") + 1


def check_example(path, functions, problems):
    """Calls of the library in an example: argument counts, and no True tests."""
    text = re.sub(r"'.*", "", Path(path).read_text(encoding="cp1252"))  # comments
    arity = {f.name: len(f.params) for f in functions}
    calls = 0
    for m in re.finditer(r"\b(\w+)\s*\(", text):
        name = m.group(1)
        if name not in arity:
            continue
        calls += 1
        count = call_arguments(text, m.end() - 1)
        if count is not None and count != arity[name]:
            problems.append(f"{path}: {name} called with {count} arguments, it takes {arity[name]}")
    names = "|".join(arity)
    for m in re.finditer(rf"(?:\bNot\s+(?:{names})\b|\b(?:{names})\b[^\n]*?=\s*(?:True|False)\b)", text):
        problems.append(f"{path}: '{m.group(0).strip()}': results are 1 and 0, VB's True is -1; "
                        "compare with 1")
    if calls == 0:
        problems.append(f"{path}: calls no function of the library")


def check_constants(header, module_text, problems):
    expected = quorvel_api.read_constants(header)
    found = {m.group(1): int(m.group(2)) for m in re.finditer(
        r"^\s*(?:Public\s+|Global\s+)?Const\s+(QUORVEL_\w+)\s+As\s+Long\s*=\s*(-?\d+)\b",
        module_text, re.M | re.I)}
    for name, value in sorted(expected.items()):
        if found.get(name) != value:
            problems.append(f"constant {name}: header {value}, module {found.get(name, 'missing')}; add:\n"
                            f"    Public Const {name} As Long = {value}")
    for name in sorted(set(found) - set(expected)):
        problems.append(f"constant {name}: not in the header")
    return len(expected)


def check_status_type(header, module_text, problems):
    text = Path(header).read_text()
    body = re.search(r"struct quorvel_status\s*\{(.*?)\};", text, re.S)
    c_fields = re.findall(r"^\s*int\s+(\w+)(?:\[(\d+)\])?\s*;", body.group(1), re.M)
    vb = re.search(r"^\s*Public\s+Type\s+QuorvelStatus\s*$(.*?)^\s*End\s+Type", module_text,
                   re.S | re.M | re.I)
    if not vb:
        problems.append("Public Type QuorvelStatus missing")
        return
    vb_fields = re.findall(r"^\s*(\w+)(?:\(0\s+To\s+(\d+)\))?\s+As\s+Long\s*$", vb.group(1), re.M | re.I)
    shape = [int(n) if n else 0 for _, n in c_fields]
    vb_shape = [int(n) + 1 if n else 0 for _, n in vb_fields]
    if shape != vb_shape:
        problems.append(f"Type QuorvelStatus: fields {[f for f, _ in vb_fields]} do not match "
                        f"struct quorvel_status {[f for f, _ in c_fields]} (all Long, raw(0 To 3))")


def main(header, def_file, module, *examples):
    functions = quorvel_api.read_api(header, def_file)
    module_text = Path(module).read_text(encoding="cp1252")
    problems = []
    check_declares(functions, module_text.splitlines(), problems)
    constants = check_constants(header, module_text, problems)
    check_status_type(header, module_text, problems)
    for example in examples:
        check_example(example, functions, problems)
    for problem in problems:
        print(problem)
    print(f"{module}: {len(problems)} problems; {len(functions)} functions, {constants} constants checked")
    return 1 if problems or len(functions) < 35 else 0


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
