#!/bin/sh
# A job whose process 1 meets bad input while process 0 is well: the job must
# end within the time limit, with a non-zero exit and the message once.
#   failing_process.sh MPIEXEC CLI
set -u
mpiexec=$1; cli=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
cd "$dir" || exit 1
# shellcheck disable=SC2016  # expanded by the shell of each process
timeout 60 "$mpiexec" --oversubscribe -np 2 sh -c '
  if [ "$OMPI_COMM_WORLD_RANK" = 1 ]; then bad="--set NP0.gNaa=1"; else bad=; fi
  exec "$0" fi --iind-max 400 --step 4 --t-end-ms 200 --threads 1 $bad' "$cli" > log.txt 2>&1
status=$?
cat log.txt
if [ $status -eq 0 ]; then echo "the job ended well although a process failed"; exit 1; fi
if [ $status -eq 124 ]; then echo "the job did not end within 60 s"; exit 1; fi
n=$(grep -c "membrix-cli: unknown parameter NP0.gNaa" log.txt)
if [ "$n" -ne 1 ]; then echo "the message was printed $n times, not once"; exit 1; fi
echo "the job ended with status $status and one message"
