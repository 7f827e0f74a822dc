#!/usr/bin/env bash
# Checks a downloaded release archive against this checkout: its checksums,
# that its executable is this checkout's build byte for byte once any
# signature is taken off, and who signed it. One verdict per check; exits
# non-zero when any check fails.
#
# Usage: verify-release.sh ARCHIVE REBUILT_EXE [CA_FILE]
set -uo pipefail

archive=$1
rebuilt=$2
ca=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
pass() { echo "PASS  $1"; }
fail() { echo "FAIL  $1"; failures=$((failures + 1)); }

echo "Verifying $archive against this checkout ($(git -C "$(dirname "$0")" describe --always --dirty 2>/dev/null || echo 'no commit'))"
if ! unzip -q "$archive" -d "$work" 2>/dev/null || [[ ! -f $work/porkado-recovery.exe || ! -f $work/SHA256SUMS ]]; then
    fail "archive: it cannot be read or lacks porkado-recovery.exe or SHA256SUMS"
    exit 1
fi
exe=$work/porkado-recovery.exe

if tr -d '\r' < "$work/SHA256SUMS" | grep -q ' porkado-recovery.exe$' &&
   (cd "$work" && tr -d '\r' < SHA256SUMS | sha256sum --quiet --strict -c -) >/dev/null 2>&1; then
    pass "checksums: SHA256SUMS matches every file it lists, the executable included"
else
    fail "checksums: SHA256SUMS does not match the archive's files"
fi

signed=
if osslsigncode extract-signature -in "$exe" -out "$work/signature.der" >/dev/null 2>&1; then
    signed=yes
    osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" >/dev/null 2>&1
else
    cp "$exe" "$work/unsigned.exe"
fi
if cmp -s "$work/unsigned.exe" "$rebuilt"; then
    pass "rebuild: the executable${signed:+, its signature taken off,} is this checkout's build byte for byte"
else
    fail "rebuild: the executable${signed:+, its signature taken off,} differs from this checkout's build"
fi

if [[ -z $signed ]]; then
    echo "NOTE  signature: the executable is not signed"
else
    report=$(osslsigncode verify ${ca:+-CAfile "$ca"} -in "$exe" 2>&1)
    verified=$?
    current=$(sed -n 's/^Current message digest *: *//p' <<<"$report" | head -n 1)
    calculated=$(sed -n 's/^Calculated message digest *: *//p' <<<"$report" | head -n 1)
    if [[ -n $current && $current == "$calculated" ]]; then
        pass "signature: it covers the executable as shipped"
    else
        fail "signature: it does not match the executable"
    fi
    signer=$(grep -m 1 'Subject:' <<<"$report" | sed 's/^[[:space:]]*Subject: *//')
    echo "NOTE  signer: ${signer:-not readable from the signature}"
    if [[ -z $ca ]]; then
        echo "NOTE  chain: not checked (give CA=<file> to check it)"
    elif [[ $verified -eq 0 ]]; then
        pass "chain: the signer's certificate chains to $ca"
    else
        fail "chain: the signer's certificate does not chain to $ca"
    fi
fi

if [[ $failures -eq 0 ]]; then
    echo "verified: every check passed"
else
    echo "NOT verified: $failures check(s) failed"
    exit 1
fi
