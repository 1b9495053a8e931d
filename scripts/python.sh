#!/usr/bin/env bash
# Builds the Python module "membrix" into build/python and runs Debian's
# Python 3 with it importable:
#
#   scripts/python.sh                      an interactive Python
#   scripts/python.sh SCRIPT.py [ARGS...]  a script
#
# Missing Debian packages are installed first, as ./run.sh does.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/deps.sh

membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}" "${MEMBRIX_PYTHON_PACKAGES[@]}"
gui=OFF
if membrix_gui_available; then
  gui=ON
fi
membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI="$gui" -DMEMBRIX_PYTHON=ON >/dev/null
cmake --build build -j2 --target membrix-python >/dev/null

cd - >/dev/null
export PYTHONPATH="$root/build/python${PYTHONPATH:+:$PYTHONPATH}"
exec /usr/bin/python3 "$@"
