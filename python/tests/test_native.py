# SPDX-License-Identifier: MIT
"""The ctypes layer: declarations match the header, caller data stays unchanged, lookup."""

import ctypes
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import ROOT
from quorvel import _native

HEADER = ROOT / "src" / "api" / "quorvel.h"


def header_functions():
    """name -> list of parameter kinds ("int", "u64", "ptr") from the public header."""
    text = re.sub(r"/\*.*?\*/", " ", HEADER.read_text(), flags=re.S)
    found = {}
    for m in re.finditer(r"QUORVEL_API\s+(.+?)\s*QUORVEL_CALL\s+(\w+)\s*\((.*?)\)\s*;", text, re.S):
        result, name, params = m.group(1), m.group(2), m.group(3).strip()
        kinds = []
        for param in ([] if params in ("", "void") else params.split(",")):
            param = " ".join(param.split())
            kinds.append("ptr" if "*" in param else "u64" if "uint64_t" in param else "int")
        found[name] = ("ptr" if "*" in result else "int", kinds)
    return found


def kind(ctype):
    if ctype is ctypes.c_int:
        return "int"
    if ctype is ctypes.c_uint64:
        return "u64"
    return "ptr"  # pointers, texts, writable copies


def test_every_exported_function_is_declared_as_in_the_header():
    declared = {name: (kind(restype), [kind(a) for a in argtypes])
                for name, restype, argtypes
                in _native.FUNCTIONS + _native.EXTENSIONS + _native.HANDLES + _native.CONFIRM}
    expected = header_functions()
    assert len(expected) >= 28
    assert declared == expected
    for name in expected:
        function = getattr(_native.lib, name)
        assert function.argtypes is not None and function.restype is not None, name


def test_version_text_is_returned_as_bytes():
    assert _native.lib.Le_VersaoDLL() == b"1.2.0.0"


def test_str_arguments_are_whole_windows_1252_texts():
    assert _native.lib.strlen1("Café") == 4
    assert _native.lib.strlen1(b"abc") == 3


@pytest.mark.parametrize("make", [bytes, bytearray, lambda b: ctypes.create_string_buffer(b, 9)],
                         ids=["bytes", "bytearray", "ctypes-buffer"])
def test_split_list_leaves_the_callers_text_unchanged(make):
    text = make(b"10,20,30")
    before = bytes(bytearray(text))  # a new object: bytes(b) would be b itself
    values = (ctypes.c_int * 4)(-1, -1, -1, -1)
    assert _native.lib.separa(text, values) == 3
    assert list(values) == [10, 20, 30, -1]
    assert bytes(text) == before


@pytest.mark.parametrize("name,extra", [
    ("ComandoTx", ()), ("ImprimeCode128C", (1, 0)), ("ImprimeCode128_C", (1, 0, 2)),
])
def test_list_functions_leave_the_callers_text_unchanged(name, extra):
    codes = b",".join(b"%d" % v for v in range(22))  # no link: parsed, then not sent
    before = bytes(bytearray(codes))
    getattr(_native.lib, name)(codes, *extra)
    assert codes == before


def test_concat_fills_a_ctypes_buffer():
    dest = ctypes.create_string_buffer(8)
    result = _native.lib.concat(dest, b"ab", 2, b"cde", 3)
    assert result == ctypes.addressof(dest)
    assert dest.raw == b"abcde\0\0\0"


def test_utf8_conversion_through_the_library():
    out = ctypes.create_string_buffer(16)
    assert _native.lib.quorvel_utf8_to_cp1252("Café €".encode(), out, len(out)) == 6
    assert out.value == "Café €".encode("cp1252")


def run_python(code, env, cwd):
    return subprocess.run([sys.executable, "-c", code], env=env, cwd=cwd,
                          capture_output=True, text=True, timeout=60)


@pytest.fixture
def package_copy(tmp_path):
    """The package alone in a fresh directory, with no library beside it."""
    shutil.copytree(ROOT / "python" / "quorvel", tmp_path / "quorvel",
                    ignore=shutil.ignore_patterns("__pycache__", "*.so*"))
    env = {k: v for k, v in os.environ.items() if k not in ("QUORVEL_LIBRARY", "PYTHONPATH")}
    env["LD_LIBRARY_PATH"] = str(tmp_path / "nowhere")
    return tmp_path, env


def test_library_not_found_says_where_it_looked(package_copy):
    directory, env = package_copy
    env["QUORVEL_LIBRARY"] = str(directory / "missing" / "libquorvel.so.1")
    result = run_python("import quorvel", env, directory)
    assert result.returncode != 0
    assert "ImportError" in result.stderr
    for place in ("QUORVEL_LIBRARY", str(directory / "missing" / "libquorvel.so.1"),
                  "beside the package", str(directory / "quorvel" / "libquorvel.so.1"),
                  "system search path"):
        assert place in result.stderr


def test_library_beside_the_package_is_used(package_copy):
    directory, env = package_copy
    shutil.copy(os.environ["QUORVEL_LIBRARY"], directory / "quorvel" / "libquorvel.so.1")
    env["QUORVEL_LIBRARY"] = str(directory / "missing.so")
    result = run_python("import quorvel; print(quorvel.library_path)", env, directory)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == str(directory / "quorvel" / "libquorvel.so.1")
    assert "QUORVEL_LIBRARY could not be loaded" in result.stderr  # a warning, not silence


def test_a_library_that_is_not_quorvel_is_skipped(package_copy):
    directory, env = package_copy
    env["QUORVEL_LIBRARY"] = ctypes.util.find_library("c") or "libc.so.6"
    result = run_python("import quorvel", env, directory)
    assert result.returncode != 0
    assert "is not the Quorvel library" in result.stderr
