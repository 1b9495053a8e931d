#!/bin/sh
# Times one (u,s) map with 1, 2 and 4 processes of membrix-cli under mpirun and
# prints the cost per point and the overhead of sharing it among processes.
# On a machine with fewer cores than processes the processes take turns on the
# cores, so read the figures as overhead, not as speed-up.
#   bench/mpi_map_scaling.sh [CLI] [NUE] [NSE] [T_END_MS]
set -eu
cli=${1:-build/membrix-cli}; nue=${2:-16}; nse=${3:-16}; tend=${4:-500}
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
cores=$(nproc)
points=$(( (nue + 1) * (nse + 1) ))
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
echo "map of $((nue + 1)) x $((nse + 1)) = $points points, t_end $tend ms, one worker per process, $cores cores"
t0=$(now); "$cli" map --nue "$nue" --nse "$nse" --t-end-ms "$tend" --threads 1 > /dev/null; t1=$(now)
single=$(calc "$t1 - $t0")
cp "v(u_s).dat" single.dat
printf 'processes  seconds  start s  ms/point  overhead ms/point  same file\n'
printf '%9d  %7.2f  %7s  %8.3f  %17s  %s\n' 1 "$single" "-" "$(calc "1000 * $single / $points")" "-" "-"
for np in 2 4; do
  # The start of the job (mpirun, the processes, MPI) with a map of 4 short points.
  t0=$(now); mpirun --oversubscribe -np "$np" "$cli" map --nue 1 --nse 1 --t-end-ms 1 --threads 1 > /dev/null; t1=$(now)
  start=$(calc "$t1 - $t0")
  t0=$(now); mpirun --oversubscribe -np "$np" "$cli" map --nue "$nue" --nse "$nse" --t-end-ms "$tend" --threads 1 \
    > /dev/null; t1=$(now)
  t=$(calc "$t1 - $t0")
  busy=$(( np < cores ? np : cores ))
  # The core-seconds the job used beyond those of the single process and the
  # start, per point: what sending the points to process 0 and waiting cost.
  over=$(calc "1000 * (($t - $start) * $busy - $single) / $points")
  same=$(cmp -s single.dat "v(u_s).dat" && echo yes || echo NO)
  printf '%9d  %7.2f  %7.2f  %8.3f  %17.3f  %s\n' "$np" "$t" "$start" "$(calc "1000 * $t / $points")" "$over" "$same"
done
