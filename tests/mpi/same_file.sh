#!/bin/sh
# Runs a membrix-cli command once alone and once as a job of NP processes under
# mpirun, and compares the files they write byte for byte.
#   same_file.sh MPIEXEC NP CLI FILE COMMAND [OPTIONS...]
set -u
mpiexec=$1; np=$2; cli=$3; file=$4; shift 4
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
(cd "$dir" && mkdir one many) || exit 1
(cd "$dir/one" && "$cli" "$@" > out.txt 2>&1) || { cat "$dir/one/out.txt"; echo "the single run failed"; exit 1; }
(cd "$dir/many" && timeout 120 "$mpiexec" --oversubscribe -np "$np" "$cli" "$@" > out.txt 2>&1) ||
  { cat "$dir/many/out.txt"; echo "the run of $np processes failed"; exit 1; }
if cmp "$dir/one/$file" "$dir/many/$file"; then
  echo "$file: the same from 1 and $np processes ($(wc -l < "$dir/one/$file") lines)"
else
  diff "$dir/one/$file" "$dir/many/$file" | head -20
  exit 1
fi
