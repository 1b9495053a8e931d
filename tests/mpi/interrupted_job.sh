#!/bin/sh
# Ctrl+C on a job of 2 processes: the job ends, the lines process 0 has written
# stay, and the summary says the file is not complete.
#   interrupted_job.sh MPIEXEC CLI
set -u
mpiexec=$1; cli=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
cd "$dir" || exit 1
"$mpiexec" --oversubscribe -np 2 "$cli" fi --iind-max 400 --step 1 --t-end-ms 3000 --threads 1 > out.txt 2> err.txt &
job=$!
# Ctrl+C once process 0 has written its first lines (the currents take about
# 0.1 s each: some are done, most are not), however long the start took.
waited=0
while [ "$(wc -l < "v(Iind).dat" 2> /dev/null || echo 0)" -lt 2 ] && [ $waited -lt 600 ]; do
  sleep 0.1; waited=$((waited + 1))
done
kill -INT $job
tries=0
while kill -0 $job 2> /dev/null && [ $tries -lt 600 ]; do sleep 0.1; tries=$((tries + 1)); done
if kill -0 $job 2> /dev/null; then
  # Debian's Open MPI launcher now and then stalls (or crashes) in its own
  # clean-up after the job has aborted (its own daemon children included);
  # what is ours is that every process of the job has ended and process 0 has
  # said what it kept.
  if pgrep -f -- "$cli fi --iind-max 400 --step 1 --t-end-ms 3000" > /dev/null; then
    kill -KILL $job; pkill -KILL -P $job; pkill -KILL -f -- "$cli fi --iind-max 400 --step 1 --t-end-ms 3000"
    echo "the job did not end within 60 s of Ctrl+C"; exit 1
  fi
  echo "mpiexec itself still ran 60 s after its processes had ended: stopped"
  kill -KILL $job
  wait $job
  status=137
else
  wait $job
  status=$?
fi
cat err.txt
lines=$(wc -l < "v(Iind).dat")
[ $status -ne 0 ] || { echo "an interrupted job reported success"; exit 1; }
[ "$lines" -ge 1 ] && [ "$lines" -lt 401 ] || { echo "the file holds $lines lines"; exit 1; }
grep -q "holds the lines of those $lines and is not complete" err.txt || { echo "no note that the file is incomplete"; exit 1; }
echo "interrupted after $lines of 401 currents, status $status"
