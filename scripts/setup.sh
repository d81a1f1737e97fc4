#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, and nothing when they are all present,
# so every make target can call it unconditionally. "setup.sh windows" adds the heavier group
# of the Windows build's smoke test (Wine on a virtual X screen), which only check-windows
# asks for.
set -euo pipefail

group="${1:-build}"

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
    libtsan2            # g++'s ThreadSanitizer runtime, for make test TSAN=1
    g++-mingw-w64-x86-64  # Windows cross compiler and DDK headers: check-windows, tabvolt.sys
    binutils-mingw-w64-x86-64  # dlltool for WDFLDR.SYS's import library, objdump for its check
    g++-mingw-w64-i686-posix  # Ampwise, the 32-bit Windows program, posix threads
    binutils-mingw-w64-i686  # windres for its resources
    python3
    libfreetype-dev     # the simulated PC draws text with FreeType
    fonts-liberation    # metric-compatible stand-ins for Arial, Times New Roman, Courier New
    libpng-dev          # ampsim snapshots of the simulated screen
    time                # GNU time: wall clock and peak memory in bench/goals.sh
    nsis                # makensis: the one installer of Ampwise and the driver package
)

# Wine runs 32-bit programs through the i386 architecture's packages.
if [ "$group" = "windows" ]; then
    packages+=(
        wine
        wine32:i386
        wine64      # for kernels that run no 32-bit programs
        xvfb
        x11-apps    # xwd, the screenshot
        netpbm      # xwdtopnm and pnmtopng, to turn it into a PNG
    )
fi

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
    if [ "$group" = "windows" ]; then
        echo "  sudo dpkg --add-architecture i386 && sudo apt-get update" >&2
    fi
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

if [ "$group" = "windows" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture for wine32"
    dpkg --add-architecture i386
fi

echo "setup: installing ${missing[*]}"
# CI runs with no terminal and no stdin: never let apt or debconf ask anything.
export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync makes "apt-get update" fail on one index now and then: try again, and
# go on to the install even then, which fails by itself if a package is truly missing.
install() {
    apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"
}
for attempt in 1 2; do
    apt-get update -q && break
    echo "setup: apt-get update failed (attempt $attempt), trying again" >&2
    sleep 10
done
install && exit 0
# The security suite's i386 index has stayed mid-sync for days; without it the 32-bit libraries
# Wine needs cannot match their 64-bit twins. Install from the main suites alone then.
sources="$(mktemp -d)"
trap 'rm -rf "$sources"' EXIT
# The machine's own deb822 sources, less every stanza of a security suite.
for file in /etc/apt/sources.list.d/*.sources; do
    awk -v RS= -v ORS='\n\n' '!/Suites:[^\n]*-security/' "$file" >"$sources/$(basename "$file")"
done
echo "setup: installing again from the main suites alone" >&2
install -o Dir::Etc::SourceParts="$sources" -o Dir::Etc::SourceList=/dev/null
