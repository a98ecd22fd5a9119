#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset: the native
# library with its 64-bit and 32-bit x87 suites, and both Windows DLLs (PE
# checks, import libraries, and the 64-bit DLL under Wine on both families).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in native win32 win64; do
    echo "=== $preset"
    cmake --workflow --preset "$preset"
done
