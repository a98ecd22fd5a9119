#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset: the native
# library with its 64-bit and 32-bit x87 suites; both Windows DLLs (PE checks,
# import libraries, the 64-bit DLL under Wine, the 32-bit DLL on an emulated
# i486); the native suite under AddressSanitizer with UndefinedBehaviorSanitizer
# and under ThreadSanitizer; and the fuzz target, over its corpus and for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in native win32 win64 asan tsan fuzz; do
    echo "=== $preset"
    cmake --workflow --preset "$preset"
done
