#!/usr/bin/env bash
# Makes a throwaway code-signing key and certificate for the signing tests:
# DIR/signing.p12 (PKCS#12), DIR/password (its password), DIR/certificate.pem.
# Never used for a release.
#
# Usage: make_test_certificate.sh DIR
set -euo pipefail

dir=$1
openssl req -x509 -newkey rsa:2048 -nodes -days 7 -keyout "$dir/key.pem" -out "$dir/certificate.pem" \
    -subj "/CN=Porkado Recovery Test Signing/O=TAVRO" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl rand -hex 16 > "$dir/password"
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" -out "$dir/signing.p12" \
    -passout "file:$dir/password"
