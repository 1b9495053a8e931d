#!/usr/bin/env bash
# What the workers gain on the (u,s) map, and what a map step costs: the
# start-up neuron's map (21 x 9 points, 500 ms each) run by membrix-cli map
# with one worker and then with one worker per core, timed by the tool
# itself, beside a clamp run of the same neuron firing for 10 s. Prints both
# map times, the speed-up (the target on 2 cores is at least 1.8, on an
# otherwise idle machine), the cost of a map step (the model's step, with the
# steps of its threshold neuron, which advances only as far as the point's
# last spike: silent points never step it) against the clamp run's cost per
# step, and checks that both maps wrote the same file.
#
#   bench/map_speedup.sh [WORKERS]      (default 0: one per core)
#
# Builds build/membrix-cli in Release first, as ./run.sh does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

workers=${1:-0}
[[ $workers =~ ^[0-9]+$ ]] || { echo "usage: bench/map_speedup.sh [WORKERS]" >&2; exit 2; }

membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}"
membrix_configure build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target membrix-cli >/dev/null

cli=$(realpath build/membrix-cli)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

field() { sed -n "s/.*\"$1\": \([0-9.e+-]*\).*/\1/p"; }

# The processor time (user + system, s) of a command, beside its wall time:
# on a machine shared with other work the wall time of one worker also counts
# the waits for a core, the processor time only the work.
cpu() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >"$work/out" 2>/dev/null; } 2>"$work/cpu"
  awk '{ print $1 + $2 }' "$work/cpu"
}
one_cpu=$(cpu "$cli" map --threads 1 --out one.dat --json); one=$(cat "$work/out")
many=$("$cli" map --threads "$workers" --out many.dat --json)
clamp_cpu=$(cpu "$cli" run --set t_end=10 --set t_Iind=10 --json); clamp=$(cat "$work/out")
t1=$(field elapsed_seconds <<<"$one")
tn=$(field elapsed_seconds <<<"$many")
n=$(field workers <<<"$many")
steps=$(field steps <<<"$one")
tc=$(field elapsed_seconds <<<"$clamp")
sc=$(field steps <<<"$clamp")
cmp -s one.dat many.dat || { echo "map_speedup: the maps of 1 and $n workers differ" >&2; exit 1; }
awk -v t1="$t1" -v tn="$tn" -v n="$n" -v s="$steps" -v tc="$tc" -v sc="$sc" -v c1="$one_cpu" -v cc="$clamp_cpu" 'BEGIN {
  printf "(u,s) map of the start-up neuron, 21 x 9 points of 500 ms (%d steps)\n", s
  printf "1 worker:  %.3f s\n%d workers: %.3f s\nspeed-up:  %.2f (files identical)\n", t1, n, tn, t1 / tn
  printf "map step (1 worker): %.3f us (the model, and its threshold neuron up to the last spike)\n", 1e6 * t1 / s
  printf "clamp run step:      %.3f us (the same neuron firing for 10 s)\n", 1e6 * tc / sc
  printf "processor time: map %.3f s, %.3f us per map step; clamp run %.3f s, %.3f us per step\n", c1, 1e6 * c1 / s, cc, 1e6 * cc / sc
}'
