#!/usr/bin/env bash
# What drawing costs a long clamp run in the workbench: the start-up protocol
# run for STEPS steps (default 1000000) without drawing, with the charts of the
# main window drawing, and without drawing again, in one workbench process on
# Qt's offscreen platform. Prints the times, their ratio (the target is at most
# 2) and the longest time the windows waited for their events during each run
# (the target is that a run stays responsive: well under a tenth of a second).
#
#   bench/draw_cost.sh [STEPS]
#
# Builds build/membrix in Release first, as ./run.sh does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

steps=${1:-1000000}
[[ $steps =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/draw_cost.sh [STEPS]" >&2; exit 2; }

membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON >/dev/null
cmake --build build -j2 --target membrix >/dev/null

QT_QPA_PLATFORM=offscreen build/membrix --draw-cost="$steps" 2> >(grep -v -e XDG_RUNTIME_DIR -e propagateSizeHints >&2)
