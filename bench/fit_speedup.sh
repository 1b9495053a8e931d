#!/usr/bin/env bash
# What the workers gain on a fit: gNa and gK of the classic squid axon fitted
# to three recordings the program makes of itself (300, 500 and 700 pA pulses,
# 200 ms each), started 20 % off, by membrix-cli fit with one worker and then
# with one worker per core. Times the global method (each evaluation runs the
# three recordings in parallel: on 2 cores at most 1.5, as two workers share
# three runs) and the multistart (its starts run in parallel), prints the
# times and speed-ups, and checks that both worker counts give the same fit.
#
#   bench/fit_speedup.sh [WORKERS]      (default 0: one per core)
#
# Builds build/membrix-cli in Release first, as ./run.sh does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

workers=${1:-0}
[[ $workers =~ ^[0-9]+$ ]] || { echo "usage: bench/fit_speedup.sh [WORKERS]" >&2; exit 2; }

membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}"
membrix_configure build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target membrix-cli >/dev/null

cli=$(realpath build/membrix-cli)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat >squid.id <<'ID'
CommonParametersFromFile
NSmpls := 3;
NP0.HH_type := 'Rariza';
NP0.HH_order := '1-point';
t_end := 0.2;
Iind := 300;  t_IindShift := 0.002;  t_Iind := 0.19;
MembrixPhysParameters
NP0.If_I_V_or_g := 2;
KeepParams=0
ParametersFromFile
SmplFile[Smpl] := 'rec1.dat';
ParametersFromFile2
Iind := 500;
SmplFile[Smpl] := 'rec2.dat';
ParametersFromFile3
Iind := 700;
SmplFile[Smpl] := 'rec3.dat';
end.
ID
for k in 1 2 3; do
  echo "0 0" >rec$k.dat
  "$cli" run --id squid.id --smpl $k --save-var Vr rec$k.tmp >/dev/null
  mv rec$k.tmp rec$k.dat
done
sed 's/^NP0.If_I_V_or_g := 2;/&\nNP0.gNa := 96;\nNP0.gK := 43.2;/' squid.id >start.id

now() { date +%s.%N; }
measure() {  # method, extra options: prints the times of 1 and N workers and checks the fits agree
  local method=$1
  shift
  local t0 t1 t2
  t0=$(now)
  "$cli" fit --id start.id --fit gNa,gK --method "$method" --workers 1 "$@" | grep -v '^written' >one.txt
  t1=$(now)
  "$cli" fit --id start.id --fit gNa,gK --method "$method" --workers "$workers" "$@" | grep -v '^written' >many.txt
  t2=$(now)
  diff -q <(sed -n '/^fit /,$p' one.txt) <(sed -n '/^fit /,$p' many.txt) >/dev/null ||
    { echo "fit_speedup: the $method fits of 1 and $workers workers differ" >&2; exit 1; }
  awk -v m="$method" -v a="$t0" -v b="$t1" -v c="$t2" 'BEGIN {
    printf "%-10s 1 worker: %7.3f s   all workers: %7.3f s   speed-up: %.2f (same fit)\n", m, b - a, c - b, (b - a) / (c - b)
  }'
}
echo "fit of gNa and gK to three recordings of 200 ms, from 20 % off ($(nproc) cores)"
measure global --max-evaluations 60 --tolerance 1e-3
measure multistart --starts 8 --max-evaluations 40 --tolerance 1e-3
