#!/usr/bin/env bash
# Writes OUT_DIR/porkado-recovery-VERSION.zip: the executable, the end user's
# README.txt and SHA256SUMS. The texts are code page 932 with CRLF line ends,
# as Japanese Windows expects, and the archive is the same bytes on every run.
#
# Given a key, the executable is signed (Authenticode, SHA-256, osslsigncode):
#   SIGNING_PKCS12         the PKCS#12 file with the key and its certificate
#   SIGNING_PASSWORD_FILE  a file holding its password
#   SIGNING_TIMESTAMP_URL  optional: an RFC 3161 time-stamping server
# The signing time is the commit's (SOURCE_DATE_EPOCH where set), so that one
# commit signed with one key gives the same bytes every time; a time stamp, by
# its nature, does not.
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

if [[ -n ${SIGNING_PKCS12:-} ]]; then
    : "${SIGNING_PASSWORD_FILE:?SIGNING_PASSWORD_FILE must name the file holding the password of the key}"
    if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
        SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null) ||
            { echo "make-dist: no commit to take the signing time from: set SOURCE_DATE_EPOCH" >&2; exit 1; }
    fi
    timestamp=()
    [[ -z ${SIGNING_TIMESTAMP_URL:-} ]] || timestamp=(-ts "$SIGNING_TIMESTAMP_URL")
    # No description (-n): osslsigncode would store our Japanese name as ASCII,
    # and the elevation prompt shows the file name instead.
    osslsigncode sign -pkcs12 "$SIGNING_PKCS12" -readpass "$SIGNING_PASSWORD_FILE" -h sha256 \
        -time "$SOURCE_DATE_EPOCH" "${timestamp[@]}" -in "$exe" -out "$stage/porkado-recovery.exe" >/dev/null
    echo "make-dist: signed, signing time $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')" >&2
else
    cp "$exe" "$stage/porkado-recovery.exe"
    echo "make-dist: not signed (no SIGNING_PKCS12 given; see the README)" >&2
fi
sed -e "s/@VERSION@/$version/g" -e "s/@RIGHTS_NOTICE@/$notice/" "$here/dist/README.txt" |
    iconv -f UTF-8 -t CP932 | sed 's/$/\r/' > "$stage/README.txt"
(cd "$stage" && sha256sum porkado-recovery.exe README.txt | sed 's/$/\r/' > SHA256SUMS)

# A fixed time on every entry, so that the archive depends on its contents only.
touch -d '2000-01-01 00:00:00 UTC' "$stage"/*
archive=$out/porkado-recovery-$version.zip
rm -f "$archive"
(cd "$stage" && TZ=UTC zip -q -X "$archive" porkado-recovery.exe README.txt SHA256SUMS)
echo "$archive"
