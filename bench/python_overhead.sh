#!/usr/bin/env bash
# Times a clamp run of 10^6 steps started from Python against the same run
# from membrix-cli and from NEURON, then a map and an ensemble from
# membrix.tasks against membrix-cli (bench/python_overhead.py says how).
#
#   bench/python_overhead.sh [--repeats N] [--no-neuron] [--tasks-only]
#
# Builds build/membrix-cli and the Python module in Release first; NEURON
# comes from Debian's python3-neuron, installed only when it is missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}" "${MEMBRIX_PYTHON_PACKAGES[@]}" \
  "${MEMBRIX_COMPARISON_PACKAGES[@]}"
gui=OFF
if membrix_gui_available; then
  gui=ON
fi
membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI="$gui" -DMEMBRIX_PYTHON=ON >/dev/null
cmake --build build -j2 --target membrix-cli membrix-python >/dev/null

# Debian's python, which sees Debian's NumPy and NEURON whatever python comes first on PATH.
PYTHONPATH="$PWD/build/python" exec /usr/bin/python3 bench/python_overhead.py --cli build/membrix-cli "$@"
