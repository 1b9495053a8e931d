#!/usr/bin/env bash
# Builds Membrix into build/ and starts the workbench.
#
#   ./run.sh [ARGS...]        build the workbench and the batch tool (not the
#                             tests or the benchmarks), then start build/membrix
#                             with ARGS; with no display, run the start-up
#                             protocol headless with build/membrix-cli run ARGS
#                             instead
#   ./run.sh bench [ARGS...]  build the benchmarks in Release and run
#                             build/membrix-bench with ARGS (Google Benchmark
#                             options such as --benchmark_filter=REGEX)
#
# Missing Debian packages are installed first (apt-get, with sudo when not root).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source scripts/deps.sh

membrix_prepare_release_build

if [[ ${1:-} == bench ]]; then
  shift
  cmake --build build -j2 --target membrix-bench
  exec build/membrix-bench "$@"
fi

targets=(membrix-cli)
if [[ $membrix_gui == ON ]]; then
  targets+=(membrix)
fi
cmake --build build -j2 --target "${targets[@]}"

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "membrix: no display (DISPLAY and WAYLAND_DISPLAY are empty); running the start-up protocol headless with membrix-cli instead"
  exec build/membrix-cli run "$@"
fi
if [[ ! -x build/membrix ]]; then
  echo "membrix: the workbench was not built (Qt 6 or QCustomPlot missing); running the start-up protocol headless with membrix-cli instead"
  exec build/membrix-cli run "$@"
fi
exec build/membrix "$@"
