#!/usr/bin/env bash
# Installs, on Debian 12, whatever the build and the tests need and the
# machine lacks. Safe to run again: it installs nothing that is there.
set -euo pipefail

packages=(
    cmake make gcc g++ binutils
    libgtest-dev googletest          # unit tests (sources too, for the 32-bit build)
    g++-multilib qemu-user-static    # 32-bit x87 suite, run on a 64-bit-only kernel
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    llvm-14 lld-14 clang-14          # MSVC-format import library and the MSVC host link check
    libclang-rt-14-dev               # the sanitizers and libFuzzer
    wine wine64                      # the 64-bit DLL under a Windows loader
    libcli11-dev                     # adcread's argument parser (header-only)
    libbenchmark-dev                 # the benchmarks
    python3 python3-pytest           # adcread's end-to-end tests
    python3-venv python3-setuptools python3-wheel   # the Python package's wheels
    python3-numpy python3-matplotlib                 # ... and its tests
    python3-unicorn                  # the 32-bit DLL on an emulated i486
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
