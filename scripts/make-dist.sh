#!/usr/bin/env bash
# Writes OUT_DIR/porkado-recovery-VERSION.zip: the executable, the end user's
# README.txt and SHA256SUMS. The texts are code page 932 with CRLF line ends,
# as Japanese Windows expects, and the archive is the same bytes on every run.
#
# Usage: make-dist.sh EXE VERSION OUT_DIR
set -euo pipefail

exe=$(realpath "$1")
version=$2
out=$(realpath "$3")
here=$(dirname "$(realpath "$0")")/..
notice=$(sed -n 's/^#define PORKADO_RIGHTS_NOTICE "\(.*\)"$/\1/p' "$here/recovery/rights_notice.h")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp "$exe" "$stage/porkado-recovery.exe"
sed -e "s/@VERSION@/$version/g" -e "s/@RIGHTS_NOTICE@/$notice/" "$here/dist/README.txt" |
    iconv -f UTF-8 -t CP932 | sed 's/$/\r/' > "$stage/README.txt"
(cd "$stage" && sha256sum porkado-recovery.exe README.txt | sed 's/$/\r/' > SHA256SUMS)

# A fixed time on every entry, so that the archive depends on its contents only.
touch -d '2000-01-01 00:00:00 UTC' "$stage"/*
archive=$out/porkado-recovery-$version.zip
rm -f "$archive"
(cd "$stage" && TZ=UTC zip -q -X "$archive" porkado-recovery.exe README.txt SHA256SUMS)
echo "$archive"
