#!/usr/bin/env bash
# What the workers gain on the f-I sweep: the start-up neuron's sweep (101
# currents, 0 ... 400 pA, 600 ms each) run by membrix-cli fi with one worker
# and then with one worker per core, timed by the tool itself. Prints both
# times and the speed-up (the target on 2 cores is at least 1.8, on an
# otherwise idle machine), and checks that both runs wrote the same file.
#
#   bench/fi_speedup.sh [WORKERS]      (default 0: one per core)
#
# Builds build/membrix-cli in Release first, as ./run.sh does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

workers=${1:-0}
[[ $workers =~ ^[0-9]+$ ]] || { echo "usage: bench/fi_speedup.sh [WORKERS]" >&2; exit 2; }

membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}"
membrix_configure build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target membrix-cli >/dev/null

cli=$(realpath build/membrix-cli)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The "elapsed_seconds" and "workers" of the JSON summary.
field() { sed -n "s/.*\"$1\": \([0-9.e+-]*\).*/\1/p"; }

one=$("$cli" fi --threads 1 --output one.dat --json)
many=$("$cli" fi --threads "$workers" --output many.dat --json)
t1=$(field elapsed_seconds <<<"$one")
tn=$(field elapsed_seconds <<<"$many")
n=$(field workers <<<"$many")
cmp -s one.dat many.dat || { echo "fi_speedup: the files of 1 and $n workers differ" >&2; exit 1; }
awk -v t1="$t1" -v tn="$tn" -v n="$n" 'BEGIN {
  printf "f-I sweep of the start-up neuron, 101 currents of 600 ms\n"
  printf "1 worker:  %.3f s\n%d workers: %.3f s\nspeed-up:  %.2f (files identical)\n", t1, n, tn, t1 / tn
}'
