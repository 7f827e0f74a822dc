#!/usr/bin/env bash
# Measures the tool under Wine beside its yardsticks and prints the figures.
# Timings are medians over several runs, measured inside Wine by
# bench/bench_driver.cpp; sizes are those of the shipped 32-bit executables.
#
# Usage: bench.sh WINDOWS_BUILD_DIR RUN_BUILD_DIR
#   WINDOWS_BUILD_DIR: the 32-bit build (sizes)
#   RUN_BUILD_DIR:     the build whose programs this machine's Wine runs (timings)
set -euo pipefail

sizes=$(realpath "$1")
build=$(realpath "$2")
if [[ $build == "$sizes" ]]; then
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
export WINEPREFIX=$build/bench-prefix LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
driver() { "$WINELOADER" "$build/bench/bench_driver.exe" "$@"; }
windows_path() { echo "Z:${1//\//\\}"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

xvfb_pid=
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -u "$display_fd" number
export DISPLAY=:$number

rm -rf "$WINEPREFIX"
"$WINELOADER" wineboot -i >/dev/null 2>&1
"$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

echo "Benchmark under $("$WINELOADER" --version) ($WINEARCH), $(nproc) cores"
echo
echo "| Figure | porkado-recovery | yardstick | ratio |"
echo "|---|---|---|---|"
read -r tool minimal < <(driver startup "$(windows_path "$build/porkado-recovery.exe")" \
                                        "$(windows_path "$build/bench/minimal_box.exe")" 15)
echo "| start to question box, ms (median of 15; yardstick: minimal MessageBoxA program) | $tool | $minimal | $(ratio "$tool" "$minimal") |"
for sub_keys in 1000 4000 16000; do
    read -r ours reg_delete < <(driver tree "$sub_keys" 5)
    echo "| remove a key with $sub_keys sub-keys, ms (median of 5; yardstick: reg delete /f) | $ours | $reg_delete | $(ratio "$ours" "$reg_delete") |"
done
tool_size=$(stat -c %s "$sizes/porkado-recovery.exe")
minimal_size=$(stat -c %s "$sizes/bench/minimal_box.exe")
echo "| executable size, bytes (32-bit; yardstick: minimal MessageBoxA program) | $tool_size | $minimal_size | $(ratio "$tool_size" "$minimal_size") |"
