#!/bin/sh
# SIGTERM (what a job scheduler sends, and Ctrl+C's twin) on an ensemble of
# identical members once member 0 is done: the rate file holds the rate of the
# members done - 1/Δ = 2000 Hz in the bins where they all fire, not diluted by
# the members that never ran - the summary says it is not complete and names
# the members done, and the exit status is 130.
#   stopped_ensemble.sh CLI
set -u
cli=$1
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$cli" ensemble --kind noise --family Rariza --sgm-v 0 --mesh 2000000 --threads 1 --json > out.txt 2> err.txt &
job=$!
# Member 0 is written to "OneCurve(t).dat" when its block is delivered.
waited=0
while [ ! -s "OneCurve(t).dat" ] && [ $waited -lt 600 ]; do
  sleep 0.1; waited=$((waited + 1))
done
kill -TERM $job
wait $job
status=$?
cat out.txt err.txt
[ $status -eq 130 ] || { echo "exit status $status, not 130"; exit 1; }
grep -q '"complete": false' out.txt || { echo "the summary does not say the run is incomplete"; exit 1; }
grep -q '"rate_peak_Hz": 2000,' out.txt || { echo "the peak is not the rate of the members done"; exit 1; }
grep -Eq 'stopped after [1-9][0-9]* of 2000001 members; RateNoise\(t\)\.dat holds the rate of those [1-9][0-9]* members and is not complete' err.txt ||
  { echo "no note of the members done"; exit 1; }
lines=$(wc -l < "RateNoise(t).dat")
[ "$lines" -eq 241 ] || { echo "the rate file holds $lines lines, not 241"; exit 1; }
peak=$(awk 'BEGIN { m = 0 } { if ($2 > m) m = $2 } END { printf "%.5f", m }' "RateNoise(t).dat")
[ "$peak" = "2000.00000" ] || { echo "the file's peak is $peak Hz, not 2000"; exit 1; }
echo "stopped with the rate of the members done, status $status"
