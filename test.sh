#!/usr/bin/env bash
# Builds and tests Membrix twice, then fuzzes its file readers briefly:
#   build/       Release, warnings as errors, workbench and window tests when
#                Qt 6 is present
#   build-asan/  Debug (-O1) with AddressSanitizer and UBSan, engine and batch
#                tool only
#   build-fuzz/  Clang, libFuzzer with AddressSanitizer and UBSan: a smoke run
#                of each fuzz target (skipped, with a note, without Clang)
# Missing Debian packages are installed first. Exits non-zero if a build or a
# test fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
source scripts/deps.sh

membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"

gui=OFF
if membrix_gui_available; then
  gui=ON
fi

# A configure or build step that fails ends the run at once.
step() {
  if ! "$@"; then
    echo "test.sh: FAILED: $*"
    exit 1
  fi
}

total_passed=0
total_failed=0
failed_stages=()

# Runs the tests of one build folder (further arguments go to ctest), adds up
# its counts and remembers a failing folder; a failure does not stop the next
# stage.
run_tests() {
  local dir=$1 log=$1/ctest.log status
  shift
  set +e
  ctest --test-dir "$dir" "$@" --output-on-failure --no-tests=error --timeout 600 -j2 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  local counts failed=0 total=0
  counts=$(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1 \2/p' "$log" | tail -n 1)
  if [[ -n $counts ]]; then
    read -r failed total <<<"$counts"
  fi
  total_passed=$((total_passed + total - failed))
  total_failed=$((total_failed + failed))
  if ((status != 0)); then
    failed_stages+=("$dir")
  fi
}

echo "== build/ (Release, -Werror, GUI $gui)"
step membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI="$gui" -DMEMBRIX_WERROR=ON
step cmake --build build -j2
run_tests build

# Without MPI: Open MPI's own start-up allocations are reported as leaks; the
# shared-runs seam is still checked here through its single-process path and
# its simulated processes.
echo "== build-asan/ (Debug -O1, AddressSanitizer + UBSan, no GUI, no MPI)"
step membrix_configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DMEMBRIX_GUI=OFF -DMEMBRIX_SANITIZE=ON -DMEMBRIX_BENCH=OFF -DMEMBRIX_MPI=OFF
step cmake --build build-asan -j2
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  run_tests build-asan

echo "== build-fuzz/ (Clang, libFuzzer + AddressSanitizer + UBSan, fuzz smoke runs)"
stages="build/ and build-asan/"
membrix_fuzz_available || membrix_ensure_packages "${MEMBRIX_FUZZ_PACKAGES[@]}" || true
if membrix_fuzz_available; then
  step membrix_configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DMEMBRIX_FUZZ=ON -DMEMBRIX_GUI=OFF -DMEMBRIX_BENCH=OFF \
    -DMEMBRIX_CLI_SMOKE=OFF
  step cmake --build build-fuzz -j2 --target membrix-fuzz
  run_tests build-fuzz -L fuzz
  stages="build/, build-asan/ and build-fuzz/"
else
  echo "test.sh: clang++ with libFuzzer is not available; the fuzz smoke runs are skipped"
fi

if ((${#failed_stages[@]} > 0)); then
  echo "test.sh: FAILED in ${failed_stages[*]}"
  echo "summary: $total_passed passed, $total_failed failed"
  exit 1
fi
echo "test.sh: all tests passed in $stages"
echo "summary: $total_passed passed, $total_failed failed"
