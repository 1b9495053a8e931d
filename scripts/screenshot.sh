#!/usr/bin/env bash
# Pictures of the workbench.
#
#   scripts/screenshot.sh OUTPUT.png [SECONDS]
#   scripts/screenshot.sh --docs [FOLDER]
#   scripts/screenshot.sh --SCENE [FOLDER]
#
# The first form starts the workbench on a virtual X display with a window
# manager (so the window gets its title bar) and saves a PNG picture of the
# whole screen; SECONDS (default 2) is how long the window is given to paint
# once it is mapped.
#
# --docs takes the illustrated tour: every window of the workbench after a
# real run of its task (short runs), saved in FOLDER (default
# docs/images/tour). It takes a few minutes. --SCENE takes the pictures of one
# scene of the help pages into FOLDER (default docs/images):
#   main       the main window's pages after a clamp run, the parameter window
#   screen     the main window filling a 1920x1200 and a 1366x768 screen
#   desktop    the whole screen, 1920x1200 and 1366x768, with the windows of a
#              working session where the program puts them
#   ions       the ion-dynamics window and the pump characteristics
#   analysis   the f-I, adaptation, threshold and statistics windows
#   map        the (u,s) map and the firing clamp
#   kernel     the firing-clamp analysis and the Z-function window
#   fiber      the fiber windows after an axon run
#   ensemble   the ensemble window's four runs and the synapse window
#   act-inact  the Act/Inact window on the shipped sample
#   fit        the fitting options and the fitted run
#   reverse    the reverse-problem window on the potassium sample
#   data       the ramp analyzer, the step series and the stimulus preview
# The windows are drawn on a virtual X display (Xvfb), so fonts and frames
# are those of a real screen. Builds build/membrix first and installs what it
# needs.
set -euo pipefail

scenes=(main screen desktop ions analysis map kernel fiber ensemble act-inact fit reverse data)

usage() {
  echo "usage: scripts/screenshot.sh OUTPUT.png [SECONDS]" >&2
  echo "       scripts/screenshot.sh --docs [FOLDER]" >&2
  echo "       scripts/screenshot.sh --SCENE [FOLDER]   (SCENE: ${scenes[*]})" >&2
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

# The pictures of the help pages and of the tour: the windows draw themselves
# after a run.
if [[ ${1:-} == --* ]]; then
  (($# <= 2)) || usage
  scene=${1#--} folder=${2:-docs/images}
  if [[ $scene == docs ]]; then
    scene=tour folder=${2:-docs/images/tour}
  elif [[ " ${scenes[*]} " != *" $scene "* ]]; then
    usage
  fi
  sizes=(1600x1000)
  [[ $scene == screen || $scene == desktop ]] && sizes=(1920x1200 1366x768)
  self=$(realpath -- "${BASH_SOURCE[0]}")
  cd "$(dirname -- "$self")/.."
  folder=$(realpath -m -- "$folder")
  source scripts/deps.sh
  membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI=ON
  cmake --build build -j2 --target membrix
  for size in "${sizes[@]}"; do
    xvfb-run --auto-servernum --server-args="-screen 0 ${size}x24 -nolisten tcp" \
      build/membrix --pictures="$scene" --picture-folder="$folder"
  done
  exit 0
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
