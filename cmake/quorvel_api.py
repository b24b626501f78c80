# SPDX-License-Identifier: MIT
"""The exported API as quorvel.h declares it and quorvel.def numbers it.

Read by the 32-bit build (the __stdcall export table, whose decorated names
carry the bytes of arguments each function takes off the stack) and by the
binding checks (tests/bindings/check_vb6_module.py).

    python3 quorvel_api.py x86-def quorvel.h quorvel.def OUT.def
"""
import re
import sys
from dataclasses import dataclass

# Bytes a by-value argument of each scalar type takes on the i386 stack
# (anything narrower than 4 bytes is widened to 4). Pointers take 4.
STACK_BYTES = {
    "int": 4, "unsigned": 4, "unsigned int": 4, "signed": 4, "long": 4, "unsigned long": 4,
    "short": 4, "unsigned short": 4, "char": 4, "signed char": 4, "unsigned char": 4,
    "bool": 4, "float": 4, "size_t": 4, "int8_t": 4, "uint8_t": 4, "int16_t": 4,
    "uint16_t": 4, "int32_t": 4, "uint32_t": 4,
    "int64_t": 8, "uint64_t": 8, "long long": 8, "unsigned long long": 8, "double": 8,
}


@dataclass
class Param:
    type: str   # normalised: "const char*", "int", "uint64_t", "struct quorvel_status*"
    name: str

    @property
    def pointer(self):
        return self.type.endswith("*")

    @property
    def base(self):
        """The type without const, struct/enum and pointer marks."""
        text = re.sub(r"\b(const|volatile|struct|enum)\b|\*", " ", self.type)
        return " ".join(text.split())

    def stack_bytes(self):
        if self.pointer:
            return 4
        if self.type.startswith("enum "):
            return 4
        try:
            return STACK_BYTES[self.base]
        except KeyError:
            raise SystemExit(f"quorvel_api: no i386 size for argument type '{self.type}' "
                             f"({self.name}); add it to STACK_BYTES") from None


@dataclass
class Function:
    name: str
    returns: str
    params: list
    ordinal: int = 0

    def stack_bytes(self):
        return sum(p.stack_bytes() for p in self.params)


def _normalise_type(text):
    text = " ".join(text.replace("*", " * ").split())
    return text.replace(" *", "*")


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def read_header(path):
    """The functions declared QUORVEL_API ... QUORVEL_CALL name(...); in order."""
    text = _strip_comments(open(path, encoding="utf-8").read())
    functions = []
    for m in re.finditer(r"QUORVEL_API\s+([^;(]*?)\s*QUORVEL_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", text):
        returns, name, args = _normalise_type(m.group(1)), m.group(2), m.group(3).strip()
        params = []
        if args and args != "void":
            for arg in args.split(","):
                arg = _normalise_type(arg)
                am = re.fullmatch(r"(.+?)\s*\b(\w+)", arg)
                if not am or "(" in arg or "[" in arg:
                    raise SystemExit(f"quorvel_api: cannot read argument '{arg}' of {name}")
                params.append(Param(_normalise_type(am.group(1)), am.group(2)))
        functions.append(Function(name, returns, params))
    return functions


def read_def(path):
    """name -> ordinal from the EXPORTS lines "name @N"."""
    table = {}
    for line in open(path, encoding="utf-8"):
        m = re.match(r"\s*(\w+)\s+@(\d+)", line)
        if m:
            table[m.group(1)] = int(m.group(2))
    return table


def read_api(header, def_file):
    """Header functions with their ordinals; every name must be in both files."""
    functions = read_header(header)
    ordinals = read_def(def_file)
    declared = {f.name for f in functions}
    problems = [f"{n}: in {def_file}, not declared in {header}" for n in ordinals if n not in declared]
    problems += [f"{n}: declared in {header}, no ordinal in {def_file}" for n in declared
                 if n not in ordinals]
    if problems:
        raise SystemExit("quorvel_api:\n  " + "\n  ".join(problems))
    for f in functions:
        f.ordinal = ordinals[f.name]
    return sorted(functions, key=lambda f: f.ordinal)


def read_constants(header):
    """name -> integer value of every #define and enum member with a number."""
    text = _strip_comments(open(header, encoding="utf-8").read())
    constants = {}
    for m in re.finditer(r"^\s*#define\s+(QUORVEL_\w+)\s+(-?\d+)\s*$", text, flags=re.M):
        constants[m.group(1)] = int(m.group(2))
    for body in re.findall(r"\benum\s+\w+\s*\{([^}]*)\}", text):
        for m in re.finditer(r"(\w+)\s*=\s*(-?\d+)", body):
            constants[m.group(1)] = int(m.group(2))
    return constants


def write_x86_def(header, def_file, out):
    """The .def the 32-bit link uses: name@bytes @ordinal, so ld finds the
    __stdcall symbols; --kill-at then exports them as plain name."""
    lines = ["; Generated from quorvel.h and quorvel.def by cmake/quorvel_api.py",
             "LIBRARY Quorvel.dll", "EXPORTS"]
    lines += [f"    {f.name}@{f.stack_bytes()} @{f.ordinal}" for f in read_api(header, def_file)]
    text = "\n".join(lines) + "\n"
    try:
        if open(out, encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    open(out, "w", encoding="utf-8").write(text)


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "x86-def":
        write_x86_def(*sys.argv[2:])
    else:
        sys.exit(__doc__)
