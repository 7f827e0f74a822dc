#!/usr/bin/env bash
# Checks the signed release with a throwaway key: the signature verifies
# against its certificate, two signings give the same bytes, taking the
# signature off gives the unsigned build, the signed executable passes the
# executable checks, and verify-release passes on signed and unsigned archives
# and names the failing check when the executable or SHA256SUMS is altered.
#
# Usage: check_signing.sh SOURCE_DIR EXE VERSION
set -euo pipefail

source_dir=$(realpath "$1")
exe=$(realpath "$2")
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
archive=porkado-recovery-$version.zip

bash "$source_dir/tests/make_test_certificate.sh" "$work"
export SOURCE_DATE_EPOCH=1765400000
for copy in first second; do
    mkdir "$work/$copy"
    SIGNING_PKCS12=$work/signing.p12 SIGNING_PASSWORD_FILE=$work/password \
        bash "$source_dir/scripts/make-dist.sh" "$exe" "$version" "$work/$copy" > /dev/null 2> "$work/$copy.log"
    grep -q '^make-dist: signed' "$work/$copy.log" || fail "make-dist did not say it signed: $(cat "$work/$copy.log")"
done
cmp -s "$work/first/$archive" "$work/second/$archive" || fail "two signed archives of one commit differ"

mkdir "$work/unsigned" "$work/unpacked"
bash "$source_dir/scripts/make-dist.sh" "$exe" "$version" "$work/unsigned" > /dev/null 2> "$work/unsigned.log"
[[ $(cat "$work/unsigned.log") == "make-dist: not signed"* ]] || fail "make-dist said: $(cat "$work/unsigned.log")"

unzip -q "$work/first/$archive" -d "$work/unpacked"
signed=$work/unpacked/porkado-recovery.exe
osslsigncode verify -CAfile "$work/certificate.pem" -in "$signed" > "$work/verify.log" 2>&1 ||
    fail "the signature does not verify: $(tail -n 5 "$work/verify.log")"
grep -q 'Subject: /CN=Porkado Recovery Test Signing' "$work/verify.log" || fail "not signed by the test key"
osslsigncode remove-signature -in "$signed" -out "$work/stripped.exe" > /dev/null
cmp -s "$work/stripped.exe" "$exe" || fail "the signed executable less its signature is not the unsigned build"
/usr/bin/python3 "$source_dir/tests/check_executable.py" "$signed" "$version" "$source_dir/recovery/rights_notice.h" \
    > "$work/checks.log" 2>&1 || fail "the signed executable fails the executable checks: $(cat "$work/checks.log")"

verify() { bash "$source_dir/scripts/verify-release.sh" "$1" "$exe" ${2:+"$2"} > "$work/verdicts" 2>&1; }
verify "$work/first/$archive" "$work/certificate.pem" || fail "verify-release rejects the signed archive: $(cat "$work/verdicts")"
grep -q '^PASS  chain' "$work/verdicts" || fail "verify-release did not check the chain: $(cat "$work/verdicts")"
verify "$work/unsigned/$archive" || fail "verify-release rejects the unsigned archive: $(cat "$work/verdicts")"

# Altered archives: one byte of the executable, then one digit of SHA256SUMS.
# Each must fail, naming the checks that caught it, and only those.
expect_only_failures() {  # ARCHIVE CHECK...
    local archive=$1
    shift
    ! verify "$archive" "$work/certificate.pem" || fail "verify-release passed $archive: $(cat "$work/verdicts")"
    [[ $(sed -n 's/^FAIL  \([a-z]*\):.*/\1/p' "$work/verdicts" | tr '\n' ' ') == "$* " ]] ||
        fail "expected failed checks '$*', got: $(cat "$work/verdicts")"
}
mkdir "$work/altered"
cp "$work/unpacked/"* "$work/altered/"
printf '\x01' | dd of="$work/altered/porkado-recovery.exe" bs=1 seek=1024 conv=notrunc status=none
(cd "$work/altered" && zip -q "$work/altered-exe.zip" *)
expect_only_failures "$work/altered-exe.zip" checksums rebuild signature chain

cp "$work/unpacked/"* "$work/altered/"
[[ $(head -c 1 "$work/altered/SHA256SUMS") == 0 ]] && digit=1 || digit=0
printf '%s' "$digit" | dd of="$work/altered/SHA256SUMS" bs=1 conv=notrunc status=none
(cd "$work/altered" && zip -q "$work/altered-sums.zip" *)
expect_only_failures "$work/altered-sums.zip" checksums

echo "signed release OK"
