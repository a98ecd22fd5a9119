#!/bin/sh
# Installs a wheel into a fresh virtual environment that sees Debian's
# packages (NumPy, matplotlib, pytest), from the file alone: no package index.
#   install_wheel.sh PYTHON VENV WHEEL
set -eu
python=$1 venv=$2 wheel=$3
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
PIP_DISABLE_PIP_VERSION_CHECK=1 "$venv/bin/python" -m pip install --quiet --no-index "$wheel"
