#!/usr/bin/env bash
# Checks the distribution archive: exactly the three files, the executable as
# built, checksums that verify, the end user's texts in code page 932 with CRLF
# line ends, and the same archive bytes when made twice.
#
# Usage: check_dist.sh SOURCE_DIR EXE VERSION
set -euo pipefail

source_dir=$(realpath "$1")
exe=$(realpath "$2")
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/first" "$work/second" "$work/unpacked"
archive=$(bash "$source_dir/scripts/make-dist.sh" "$exe" "$version" "$work/first")
[[ $archive == "$work/first/porkado-recovery-$version.zip" ]] || fail "archive named $archive"
sleep 1
bash "$source_dir/scripts/make-dist.sh" "$exe" "$version" "$work/second" >/dev/null
cmp -s "$archive" "$work/second/porkado-recovery-$version.zip" || fail "two runs gave different archives"

unzip -q "$archive" -d "$work/unpacked"
cd "$work/unpacked"
[[ $(ls -A | sort | tr '\n' ' ') == "README.txt SHA256SUMS porkado-recovery.exe " ]] || fail "contents: $(ls -A)"
cmp -s porkado-recovery.exe "$exe" || fail "the executable is not the one built"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not verify"
[[ $(wc -l < SHA256SUMS) -eq 2 ]] || fail "SHA256SUMS should list two files"

for text in README.txt SHA256SUMS; do
    iconv -f CP932 -t UTF-8 "$text" > "$work/$text.utf8" || fail "$text is not code page 932"
    [[ $(grep -c $'\r$' "$text") -eq $(wc -l < "$text") ]] || fail "$text has a line without CRLF"
done
readme=$work/README.txt.utf8
grep -q "バージョン $version" "$readme" || fail "README.txt lacks the version"
grep -q 'Administrator rights' "$readme" || fail "README.txt does not say administrator rights are needed"
for key in 'HKEY_CURRENT_USER\Software' 'Start Menu\ﾌﾟﾛｸﾞﾗﾑ(&P)\ﾎﾟﾙｶﾄﾞｰﾘｵ' 'SOFTWARE\TAVRO\ﾎﾟﾙｶﾄﾞｰﾘｵ' \
           'Uninstall\ﾎﾟﾙｶﾄﾞｰﾘｵ' 'HKEY_USERS\.Default\Software' 'App Paths\porkado.exe'; do
    grep -qF "$key" "$readme" || fail "README.txt does not name $key"
done
notice=$(sed -n 's/^#define PORKADO_RIGHTS_NOTICE "\(.*\)"$/\1/p' "$source_dir/recovery/rights_notice.h")
grep -qF "$notice" "$readme" || fail "README.txt lacks the notice of rights"
echo "distribution archive OK: $(basename "$archive")"
