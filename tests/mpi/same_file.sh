#!/bin/sh
# Runs a membrix-cli command once alone and once as a job of NP processes under
# mpirun, each in a fresh folder (with the files of SETUP, if any, copied in),
# and compares every file they write byte for byte.
#   same_file.sh MPIEXEC NP CLI SETUP COMMAND [OPTIONS...]      SETUP: a folder or "-"
set -u
mpiexec=$1; np=$2; cli=$3; setup=$4; shift 4
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
mkdir "$dir/one" "$dir/many" "$dir/log" || exit 1
if [ "$setup" != - ]; then cp -r "$setup"/. "$dir/one/" && cp -r "$setup"/. "$dir/many/" || exit 1; fi
(cd "$dir/one" && "$cli" "$@" > "$dir/log/one.txt" 2>&1) ||
  { cat "$dir/log/one.txt"; echo "the single run failed"; exit 1; }
(cd "$dir/many" && timeout 120 "$mpiexec" --oversubscribe -np "$np" "$cli" "$@" > "$dir/log/many.txt" 2>&1) ||
  { cat "$dir/log/many.txt"; echo "the run of $np processes failed"; exit 1; }
if ! diff -r "$dir/one" "$dir/many" > "$dir/log/diff.txt"; then
  head -20 "$dir/log/diff.txt"
  exit 1
fi
for f in "$dir/one"/*; do echo "$(basename "$f"): the same from 1 and $np processes ($(wc -l < "$f") lines)"; done
