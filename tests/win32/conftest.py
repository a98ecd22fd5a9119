"""The 32-bit DLL (its path in DLL32) on an emulated 32-bit Windows."""
import os

import pytest

from pe32 import Machine
from windows98 import FAMILIES, Kernel

FIGURES = []


@pytest.fixture(scope="session")
def dll_path():
    path = os.environ.get("DLL32")
    if not path:
        pytest.skip("DLL32 names no 32-bit MORVANTEPORTIO.DLL")
    return path


@pytest.fixture
def load(dll_path):
    """load(family, **kernel settings) -> (machine, kernel), after DllMain."""
    def make(family, **settings):
        kernel = Kernel(family, **settings)
        machine = Machine(dll_path, kernel)
        assert machine.dll_main() == 1, "DllMain(DLL_PROCESS_ATTACH) returns TRUE"
        return machine, kernel
    return make


@pytest.fixture
def figures():
    return FIGURES


def pytest_terminal_summary(terminalreporter):
    if FIGURES:
        terminalreporter.section("figures")
        for line in FIGURES:
            terminalreporter.write_line(line)


# MORVANTE_FAMILY picks one kind of Windows (9x, nt, nt_saying_98); unset, all three.
FAMILY_NAMES = {"9x": "95/98/Me", "nt": "NT", "nt_saying_98": "NT saying 98"}


def pytest_generate_tests(metafunc):
    if "family" in metafunc.fixturenames:
        chosen = os.environ.get("MORVANTE_FAMILY")
        metafunc.parametrize("family", [FAMILY_NAMES[chosen]] if chosen else list(FAMILIES))
