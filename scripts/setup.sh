#!/usr/bin/env bash
# Installs, from Debian's packages, everything the builds and the tests use.
# Quick when all is there; uses sudo only when not root. Arguments name further
# packages that one target needs.
set -euo pipefail

packages=(
    make cmake g++ libgtest-dev          # native build and unit tests
    g++-mingw-w64-i686 binutils-mingw-w64-i686  # the Windows executable
    python3 python3-pefile icoutils      # drawing the icon, inspecting the executable
    g++-mingw-w64-x86-64-win32           # the 64-bit build the Wine tests use where 32-bit code cannot run
    wine wine64 wine32:i386 xvfb xauth locales-all  # running the tool on a real registry
    fonts-ipafont-gothic imagemagick     # Japanese text on the screenshots, and taking them
    zip unzip osslsigncode openssl       # the distribution archive, signed
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
