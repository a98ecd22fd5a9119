"""The package's tests run against the installed wheel, on the simulated card
that it carries. The simulated card reads MORVANTE_SIM_* once, when it is
loaded: tests that need another bench run a child Python."""
import json
import os
import subprocess
import sys
import textwrap

import pytest

for name in [n for n in os.environ if n.startswith("MORVANTE_SIM_") or n == "MORVANTEPORTIO_LIBRARY"]:
    del os.environ[name]

ONE_CODE = 5.12 / 2047


@pytest.fixture
def child():
    """Runs Python code in a child process with extra environment variables;
    the code prints one JSON value, which is returned."""
    def run(code, **env):
        result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env={**os.environ, **env},
                                capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        return json.loads(result.stdout)
    return run


@pytest.fixture
def adcread():
    """Runs adcread (its path in ADCREAD) on the simulated card."""
    program = os.environ.get("ADCREAD")
    if not program:
        pytest.skip("ADCREAD names no adcread program")

    def run(*args, **env):
        result = subprocess.run([program, "--simulate", *args], env={**os.environ, **env},
                                capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        return result
    return run
