#!/usr/bin/env bash
# Runs the background worker of the activation and inactivation curves under
# ThreadSanitizer: builds the engine and its tests with -fsanitize=thread in
# build-tsan/ (no workbench, no benchmarks) and runs the worker's tests, which
# drive the worker from a second thread that keeps changing its own session
# while the worker runs. Any data race between the worker and the thread that
# started it ends the run with a report and a non-zero exit status.
#
# It is a separate script because a third full build would make ./test.sh
# too long on a small machine; run it after changing the worker:
#   scripts/tsan_act_inact.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh
membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
membrix_configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DMEMBRIX_GUI=OFF -DMEMBRIX_BENCH=OFF -DMEMBRIX_CLI_SMOKE=OFF "${launcher[@]}"
cmake --build build-tsan -j2 --target membrix-tests
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
  build-tsan/membrix-tests --gtest_filter='ActInactWorker*' --gtest_repeat=3
echo "tsan_act_inact.sh: no data race between the worker and the interface thread"
