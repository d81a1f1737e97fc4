#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, and nothing when they are all present,
# so every make target can call it unconditionally.
set -euo pipefail

packages=(
    cmake
    ninja-build
    g++
    make
    git
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    clang-format
    clang               # clang-14 on Debian 12, for the libFuzzer targets
    clang-15            # check-windows: its alloc_text refuses functions without C linkage
    libclang-rt-14-dev  # libFuzzer and sanitizer runtimes for clang-14
    g++-mingw-w64-x86-64  # Windows cross compiler and DDK headers for check-windows
    python3
)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
# CI runs with no terminal and no stdin: never let apt or debconf ask anything.
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
