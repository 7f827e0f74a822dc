#!/usr/bin/env bash
# Measures the tool under Wine beside its yardsticks and prints the figures.
# Timings are medians over several runs, measured inside Wine by
# bench/bench_driver.cpp; sizes are those of the shipped 32-bit executables.
#
# Usage: bench.sh WINDOWS_BUILD_DIR WINDOWS_X64_BUILD_DIR
set -euo pipefail

sizes=$(realpath "$1")
source "$(dirname "$0")/wine-session.sh"
wine_session "$1" "$2" bench-prefix virtual
driver() { wine "$build/bench/bench_driver.exe" "$@"; }
windows_path() { echo "Z:${1//\//\\}"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Benchmark under $(wine --version) ($WINEARCH), $(nproc) cores"
echo
echo "| Figure | porkado-recovery | yardstick | ratio |"
echo "|---|---|---|---|"
read -r tool minimal < <(driver startup "$(windows_path "$build/porkado-recovery.exe")" \
                                        "$(windows_path "$build/bench/minimal_box.exe")" 15)
echo "| start to question box, ms (median of 15; yardstick: minimal MessageBoxA program, same manifest) | $tool | $minimal | $(ratio "$tool" "$minimal") |"
for sub_keys in 1000 4000 16000; do
    read -r ours platform < <(driver tree "$sub_keys" 7)
    echo "| remove a key with $sub_keys sub-keys, ms (median of 7 paired runs; yardstick: RegDeleteTreeW in process) | $ours | $platform | $(ratio "$ours" "$platform") |"
done
tool_size=$(stat -c %s "$sizes/porkado-recovery.exe")
minimal_size=$(stat -c %s "$sizes/bench/minimal_box.exe")
echo "| executable size, bytes (32-bit; yardstick: minimal MessageBoxA program, same manifest) | $tool_size | $minimal_size | $(ratio "$tool_size" "$minimal_size") |"
