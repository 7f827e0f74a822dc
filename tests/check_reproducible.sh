#!/usr/bin/env bash
# Builds the Windows executable twice, from copies of the sources in two
# different directories and a moment apart, and checks that the bytes match.
#
# Usage: check_reproducible.sh SOURCE_DIR
set -euo pipefail

source_dir=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
    local tree=$work/$1
    mkdir -p "$tree/src"
    tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$tree/src" -xf -
    cmake -S "$tree/src" -B "$tree/build" -DCMAKE_BUILD_TYPE=MinSizeRel \
          -DCMAKE_TOOLCHAIN_FILE="$tree/src/cmake/i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$tree/build" --target porkado-recovery >/dev/null
}

build first
sleep 1
build second-with-a-longer-path

if cmp "$work/first/build/porkado-recovery.exe" "$work/second-with-a-longer-path/build/porkado-recovery.exe"; then
    echo "reproducible: $(sha256sum < "$work/first/build/porkado-recovery.exe" | cut -d' ' -f1)"
else
    echo "the two builds differ"
    exit 1
fi
