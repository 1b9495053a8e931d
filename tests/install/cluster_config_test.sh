#!/bin/sh
# The engine-and-batch-tool build of a cluster configures without Qt,
# GoogleTest and Google Benchmark (each is refused to CMake here) and builds
# membrix-cli. The build is made only when a compiler cache stands in front of
# the compiler, which then hands back the objects of the main build.
#   cluster_config_test.sh SOURCE_DIR WORK_DIR LAUNCHER(or empty) PYTHON(ON|OFF) [CMAKE_ARGS...]
set -eu
source_dir=$1 work=$2 launcher=$3 python=$4
shift 4

rm -rf "$work"
mkdir -p "$work"
log=$work/membrix-check.log
cmake -S "$source_dir" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMEMBRIX_GUI=OFF -DMEMBRIX_TESTS=OFF -DMEMBRIX_BENCH=OFF -DMEMBRIX_PYTHON="$python" \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=TRUE -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE \
  ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"} "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }
echo "configured without Qt, GoogleTest and Google Benchmark"
if [ -z "$launcher" ]; then
  echo "no compiler cache in front of the compiler: membrix-cli is not built here"
  exit 0
fi
cmake --build "$work" -j2 --target membrix-cli >>"$log" 2>&1 || { cat "$log"; exit 1; }
"$work/membrix-cli" run --t-end-ms 20 --json
