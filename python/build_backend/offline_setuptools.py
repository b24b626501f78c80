# SPDX-License-Identifier: MIT
"""PEP 517 backend that builds with the setuptools already installed on the system.

pip runs a build backend in an isolated environment and installs the
backend's requirements there first, from the network. This backend needs
nothing installed: it finds the system's setuptools and wheel (Debian's
python3-setuptools and python3-wheel) in the interpreter's own site
directories, which isolation hides, and hands every hook to
setuptools.build_meta.
"""

import shutil
import site
import sys


def _system_site_dirs():
    prefixes = {sys.base_prefix, sys.prefix}
    return [d for d in site.getsitepackages(list(prefixes)) if d not in sys.path]


def _import_build_tools():
    import setuptools.build_meta
    # setuptools builds a wheel through wheel's bdist_wheel; without it the
    # build stops late with "invalid command 'bdist_wheel'".
    import wheel  # noqa: F401
    return setuptools.build_meta


try:
    _setuptools = _import_build_tools()
except ImportError:
    sys.path.extend(_system_site_dirs())
    try:
        _setuptools = _import_build_tools()
    except ImportError as failure:
        missing = (failure.name or "one of them").split(".")[0]
        raise ImportError(f"building quorvel needs setuptools and wheel installed for "
                          f"{sys.executable}, which lacks {missing} (Debian: apt-get "
                          "install python3-setuptools python3-wheel, and Debian's "
                          "/usr/bin/python3)") from None



def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    # setuptools stages the package in build/lib and never removes what an
    # earlier build left there (a bundled library since deleted, say).
    shutil.rmtree("build/lib", ignore_errors=True)
    return _setuptools.build_wheel(wheel_directory, config_settings, metadata_directory)


build_sdist = _setuptools.build_sdist
prepare_metadata_for_build_wheel = _setuptools.prepare_metadata_for_build_wheel
if hasattr(_setuptools, "build_editable"):
    build_editable = _setuptools.build_editable
    prepare_metadata_for_build_editable = _setuptools.prepare_metadata_for_build_editable


# setuptools would ask pip for "wheel", which pip would fetch; it is already importable here.
def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []
