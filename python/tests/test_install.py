# SPDX-License-Identifier: MIT
"""pip install into a fresh virtual environment, offline, then the README's receipt."""

import os
import re
import subprocess
import sys
import venv

import pytest

from conftest import PRINTER_BINARY, ROOT, wait_until


def readme_receipt() -> str:
    text = (ROOT / "python" / "README.md").read_text(encoding="utf-8")
    return re.search(r"## A receipt\s+```python\n(.*?)```", text, re.S).group(1)


def test_install_offline_then_print_the_readme_receipt(start_printer, tmp_path):
    environment = tmp_path / "venv"
    venv.EnvBuilder(system_site_packages=True, with_pip=False).create(environment)
    python = environment / "bin" / "python"
    # --no-index: nothing may come from the network.
    install = subprocess.run([str(python), "-m", "pip", "install", "--no-index", "--no-cache-dir",
                              "--quiet", str(ROOT / "python")],
                             capture_output=True, text=True, timeout=300)
    assert install.returncode == 0, install.stderr

    printer = start_printer()
    script = tmp_path / "receipt.py"
    script.write_text(readme_receipt().replace("127.0.0.1", printer.address), encoding="utf-8")
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    run = subprocess.run([str(python), str(script)], cwd=tmp_path, env=env,
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "printer: READY"
    wait_until(lambda: printer.sessions_ended() == 1)
    printer.stop()
    assert len(printer.pages()) == 1  # one receipt, cut once
    journal = printer.journal()
    for line in ('"Padaria S\\xE3o Jo\\xE3o"', '"TOTAL R$                  11,50"',
                 'reads "7890123456784"', 'store QR data "https://example.com/r/0001"',
                 "GS V 0", "ESC p"):
        assert line in journal

    installed = subprocess.run([str(python), "-c", "import quorvel, pathlib; "
                                "print(pathlib.Path(quorvel.__file__).parent)"],
                               cwd=tmp_path, env=env, capture_output=True, text=True)
    package = installed.stdout.strip()
    assert package.startswith(str(environment)), "imported the source tree, not the install"
    assert os.path.exists(os.path.join(package, "py.typed"))

    # The README's till test, with the fixture from the installed plugin alone.
    text = (ROOT / "python" / "README.md").read_text(encoding="utf-8")
    (tmp_path / "test_till.py").write_text(
        re.search(r"```python\n(# test_till\.py.*?)```", text, re.S).group(1), encoding="utf-8")
    tests = subprocess.run([str(python), "-m", "pytest", "-q", "-p", "no:cacheprovider",
                            "test_till.py"], cwd=tmp_path,
                           env=dict(env, QUORVEL_PRINTER=str(PRINTER_BINARY)),
                           capture_output=True, text=True, timeout=120)
    assert tests.returncode == 0, tests.stdout + tests.stderr
    assert "2 passed" in tests.stdout


@pytest.mark.parametrize("missing", ["wheel", "setuptools"])
def test_build_backend_names_a_missing_build_tool(missing):
    # An interpreter without wheel (python3-wheel absent, or a Python of its
    # own) once failed late with "invalid command 'bdist_wheel'".
    code = (f"import sys; sys.modules[{missing!r}] = None; "
            "sys.path.insert(0, 'build_backend'); import offline_setuptools")
    run = subprocess.run([sys.executable, "-c", code], cwd=ROOT / "python",
                         capture_output=True, text=True, timeout=60)
    assert run.returncode == 1
    assert (f"needs setuptools and wheel installed for {sys.executable}, which lacks {missing} "
            "(Debian: apt-get install python3-setuptools python3-wheel") in run.stderr


def test_raw_images_need_no_pillow(start_printer):
    printer = start_printer()
    code = f"""
import sys
sys.modules["PIL"] = None  # as if Pillow were not installed
import quorvel
with quorvel.Printer.tcp({printer.address!r}) as p:
    p.image(bytes(8 * 8), width=8, height=8)
    try:
        p.image("logo.png")
    except ImportError as e:
        print(e)
"""
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"))
    run = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr
    assert "needs Pillow" in run.stdout and "python3-pil" in run.stdout
    wait_until(lambda: printer.sessions_ended() == 1)
    assert b"\x1d\x76\x30" in printer.stop()
