#!/usr/bin/env bash
# Starts the workbench on a virtual X display with a window manager (so the
# window gets its title bar) and saves a PNG picture of the whole screen.
#
#   scripts/screenshot.sh OUTPUT.png [SECONDS]
#   scripts/screenshot.sh --docs [FOLDER]
#   scripts/screenshot.sh --analysis [FOLDER]
#   scripts/screenshot.sh --map [FOLDER]
#   scripts/screenshot.sh --fiber [FOLDER]
#   scripts/screenshot.sh --act-inact [FILE]
#   scripts/screenshot.sh --ensemble [FOLDER]
#   scripts/screenshot.sh --fit [FOLDER]
#
# SECONDS (default 2) is how long the window is given to paint once it is
# mapped. With --docs the workbench presses "RunClamp" on its start-up
# protocol and saves pictures of the main window's pages and of the parameter
# window in FOLDER (default docs/images), as the help pages show them, the
# page "Model and Experiment" after a run of Hodgkin_AP.id, and the main window
# filling a 1920x1200 and a 1366x768 screen. Builds build/membrix first and
# installs what it needs. With --analysis
# it runs a sweep in the f-I, adaptation and threshold windows, fills the
# statistics window and saves their pictures in FOLDER. With --map it maps the
# start-up neuron in the (u,s) window and runs the firing clamp. With --fiber
# it runs a squid-membrane axon in the fiber windows. With
# --act-inact it saves the Act/Inact window after a run on the sample data in
# FILE (default docs/images/act_inact_window.png). With --ensemble it runs the
# noise, threshold, conductance and network ensembles of the squid axon in the
# ensemble window and saves its pictures and the synapse window's in FOLDER.
# FILE (default docs/images/act_inact_window.png). With --fit it fits gNa of
# the squid axon by the global method of the fitting options and saves the
# options and the fitted run in FOLDER (default docs/images).
set -euo pipefail

usage() {
  echo "usage: scripts/screenshot.sh OUTPUT.png [SECONDS]" >&2
  echo "       scripts/screenshot.sh --docs [FOLDER]" >&2
  echo "       scripts/screenshot.sh --analysis [FOLDER]" >&2
  echo "       scripts/screenshot.sh --map [FOLDER]" >&2
  echo "       scripts/screenshot.sh --fiber [FOLDER]" >&2
  echo "       scripts/screenshot.sh --act-inact [FILE]" >&2
  echo "       scripts/screenshot.sh --ensemble [FOLDER]" >&2
  echo "       scripts/screenshot.sh --fit [FOLDER]" >&2
  exit 2
}

# Inside the virtual display: window manager, workbench, picture.
if [[ ${1:-} == --on-display ]]; then
  output=$2 settle=$3
  pids=()
  # shellcheck disable=SC2317  # called by the EXIT trap
  cleanup() {
    local pid
    for pid in "${pids[@]}"; do
      kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
  }
  trap cleanup EXIT

  # A window mapped while the window manager is still starting is left
  # unmapped, so the workbench starts only once the manager has announced
  # itself on the root window.
  openbox >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done

  build/membrix &
  app=$!
  pids+=("$app")

  title="Membrix v.21.1"
  for _ in $(seq 1 100); do
    if ! kill -0 "$app" 2>/dev/null; then
      echo "screenshot: the workbench exited before its window appeared" >&2
      exit 1
    fi
    if xwininfo -name "$title" 2>/dev/null | grep -q 'IsViewable'; then
      sleep "$settle"
      import -window root "$output"
      echo "screenshot: saved $output"
      exit 0
    fi
    sleep 0.2
  done
  echo "screenshot: no window titled \"$title\" appeared within 20 s" >&2
  exit 1
fi

# The pictures of the help pages: the windows draw themselves after a run.
if [[ ${1:-} == --docs || ${1:-} == --analysis || ${1:-} == --map || ${1:-} == --fiber || ${1:-} == --ensemble ]]; then
  option=--screenshots
  [[ $1 == --analysis ]] && option=--analysis-screenshots
  [[ $1 == --map ]] && option=--map-screenshots
  [[ $1 == --fiber ]] && option=--fiber-screenshots
  [[ $1 == --ensemble ]] && option=--ensemble-screenshots
  (($# <= 2)) || usage
  self=$(realpath -- "${BASH_SOURCE[0]}")
  cd "$(dirname -- "$self")/.."
  folder=$(realpath -m -- "${2:-docs/images}")
  source scripts/deps.sh
  membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON
  cmake --build build -j2 --target membrix
  if [[ $option != --screenshots ]]; then
    exec xvfb-run --auto-servernum --server-args="-screen 0 1600x1000x24 -nolisten tcp" \
      build/membrix "$option=$folder"
  fi
  xvfb-run --auto-servernum --server-args="-screen 0 1920x1200x24 -nolisten tcp" \
    build/membrix --screenshots="$folder"
  exec xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24 -nolisten tcp" \
    build/membrix --screenshots="$folder" --screen-only
fi

if [[ ${1:-} == --act-inact ]]; then
  (($# <= 2)) || usage
  self=$(realpath -- "${BASH_SOURCE[0]}")
  cd "$(dirname -- "$self")/.."
  file=$(realpath -m -- "${2:-docs/images/act_inact_window.png}")
  source scripts/deps.sh
  membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON
  cmake --build build -j2 --target membrix
  exec xvfb-run --auto-servernum --server-args="-screen 0 1600x1000x24 -nolisten tcp" \
    build/membrix --act-inact-screenshot="$file"
fi

if [[ ${1:-} == --fit ]]; then
  (($# <= 2)) || usage
  self=$(realpath -- "${BASH_SOURCE[0]}")
  cd "$(dirname -- "$self")/.."
  folder=$(realpath -m -- "${2:-docs/images}")
  source scripts/deps.sh
  membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON
  cmake --build build -j2 --target membrix
  exec xvfb-run --auto-servernum --server-args="-screen 0 1600x1000x24 -nolisten tcp" \
    build/membrix --fit-screenshots="$folder"
fi

(($# >= 1 && $# <= 2)) || usage
output=$(realpath -m -- "$1")
settle=${2:-2}
[[ $settle =~ ^[0-9]+([.][0-9]+)?$ ]] || usage
mkdir -p -- "$(dirname -- "$output")"

self=$(realpath -- "${BASH_SOURCE[0]}")
cd "$(dirname -- "$self")/.."
source scripts/deps.sh
membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}" openbox x11-utils imagemagick

membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON
cmake --build build -j2 --target membrix

exec xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24 -nolisten tcp" \
  "$self" --on-display "$output" "$settle"
