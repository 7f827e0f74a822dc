#!/usr/bin/env bash
# Runs the randomized test of the tool's tree removal for longer than `make
# test` does, from a fresh seed (or SEED), in the end-to-end tests' Wine prefix.
# A failure prints the seed of the failing tree and the command that replays it.
#
# Usage: tree-soak.sh WINDOWS_BUILD_DIR WINDOWS_X64_BUILD_DIR TREES [SEED]
set -euo pipefail

here=$(dirname "$(realpath "$0")")
source "$here/wine-session.sh"
pick_wine_build "$1" "$2"
seed=${4:-$(od -An -tu4 -N4 /dev/urandom | tr -d ' ')}
echo "Random trees under $("$WINELOADER" --version) ($WINEARCH): $3 trees from seed $seed"
RANDOM_TREES="$seed $3" /usr/bin/python3 "$here/../tests/wine/test_end_to_end.py" \
    "$build/porkado-recovery.exe" "$build/tests/e2e_helper.exe" "$build/wine" \
    --random-trees "$build/tests/random_trees.exe" --loader "$WINELOADER" --arch "$WINEARCH" \
    Wine.test_tree_removal_on_random_trees
