# shellcheck shell=bash
# Build and run environment of Membrix, sourced by run.sh, test.sh and the
# scripts under scripts/. Defines the Debian packages the project needs and
# installs only those that are missing, so a machine that has everything goes
# straight to the build.

# Compiler, build system and the libraries of the engine and the batch tool:
# all a cluster build needs (docs/cluster.md).
MEMBRIX_ENGINE_PACKAGES=(
  g++
  cmake
  ninja-build
  libcli11-dev
  libtbb-dev
  libnlopt-dev
  nlohmann-json3-dev
  libpugixml-dev
  libsundials-dev
  nettle-dev
  pkg-config
  libopenmpi-dev
  openmpi-bin
)

# The tests and the benchmarks.
MEMBRIX_TEST_PACKAGES=(
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
)

MEMBRIX_CORE_PACKAGES=("${MEMBRIX_ENGINE_PACKAGES[@]}" "${MEMBRIX_TEST_PACKAGES[@]}")

# The workbench: Qt 6 Widgets with Qt Test (the X11 and offscreen platform
# plugins come with Qt's GUI library), QCustomPlot built for Qt 6, a font, and
# a virtual X server with its authority tool for headless runs.
MEMBRIX_GUI_PACKAGES=(
  qt6-base-dev
  libqcustomplot-dev
  libqcustomplot2.1-qt6
  qt6-svg-dev
  fonts-dejavu-core
  xvfb
  xauth
)

# The Python module and its tests: pybind11 and Debian's Python 3 with NumPy
# build it; pytest runs its tests; Neo and h5py read the recordings of
# acquisition systems (Axon, NWB); matplotlib draws the pictures of its guide;
# pandas holds the tables of the tasks; venv, pip, setuptools and wheel install
# the module into a virtual environment; nbclient, nbformat and ipykernel run
# the example notebooks in the tests.
MEMBRIX_PYTHON_PACKAGES=(
  pybind11-dev
  python3-dev
  python3-numpy
  python3-pytest
  python3-neo
  python3-h5py
  python3-matplotlib
  python3-pandas
  python3-venv
  python3-pip
  python3-setuptools
  python3-wheel
  python3-nbclient
  python3-nbformat
  python3-ipykernel
)

# The installation and the Debian package: help2man writes the manual pages
# from the programs' --help; dpkg-shlibdeps (dpkg-dev) and file find the
# package's dependencies.
MEMBRIX_INSTALL_PACKAGES=(
  help2man
  dpkg-dev
  file
)

# The side-by-side comparisons with the NEURON simulator and with Brian2
# (bench/compare_neuron.sh, bench/ensemble_brian2.sh)
# only; neither the build nor the tests need it.
# shellcheck disable=SC2034  # read by the scripts that source this file
MEMBRIX_COMPARISON_PACKAGES=(
  python3-neuron
  python3-brian
)

# The fuzz targets of the file readers: Clang with libFuzzer (test.sh installs
# them when it can and skips the fuzz runs when they are missing).
# shellcheck disable=SC2034  # read by the scripts that source this file
MEMBRIX_FUZZ_PACKAGES=(
  clang
  libclang-rt-dev
)

# shellcheck disable=SC2034  # read by the scripts that source this file
MEMBRIX_PACKAGES=("${MEMBRIX_CORE_PACKAGES[@]}" "${MEMBRIX_GUI_PACKAGES[@]}")
MEMBRIX_PACKAGES+=("${MEMBRIX_PYTHON_PACKAGES[@]}" "${MEMBRIX_INSTALL_PACKAGES[@]}")

# Prints, one per line, the packages among the arguments that are not installed.
membrix_missing_packages() {
  local package status
  for package in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [[ $status == installed ]] || printf '%s\n' "$package"
  done
}

# Installs the packages among the arguments that are missing. Does nothing,
# and touches no package list, when all of them are present. On a system
# without dpkg the packages are assumed to be provided some other way.
membrix_ensure_packages() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "membrix: no dpkg on this system; assuming the build dependencies are installed" >&2
    return 0
  fi
  local missing
  mapfile -t missing < <(membrix_missing_packages "$@")
  ((${#missing[@]} == 0)) && return 0

  local as_root=()
  if ((EUID != 0)); then
    as_root=(sudo)
  fi
  echo "membrix: installing missing packages: ${missing[*]}"
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}

# Succeeds when the packages the workbench is built from are installed.
membrix_gui_available() {
  command -v dpkg-query >/dev/null 2>&1 || return 0
  [[ -z $(membrix_missing_packages qt6-base-dev libqcustomplot-dev libqcustomplot2.1-qt6) ]]
}

# Succeeds when clang++ can build a libFuzzer program.
membrix_fuzz_available() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d) || return 1
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
    >"$probe/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1
  local status=$?
  rm -rf "$probe"
  return $status
}

# Configures the build folder given as first argument with the remaining
# arguments as cache settings. A new folder uses Ninja; an existing one keeps
# the generator it was made with.
membrix_configure() {
  local dir=$1
  shift
  local generator=()
  [[ -f $dir/CMakeCache.txt ]] || generator=(-G Ninja)
  cmake -S . -B "$dir" "${generator[@]}" "$@"
}

# Installs the missing packages of MEMBRIX_PACKAGES and configures build/ in
# Release, with the workbench when its packages are installed, as ./run.sh and
# scripts/package.sh build it; further arguments are cache settings. Sets
# membrix_gui to ON or OFF.
membrix_prepare_release_build() {
  membrix_ensure_packages "${MEMBRIX_PACKAGES[@]}"
  membrix_gui=OFF
  if membrix_gui_available; then
    membrix_gui=ON
  fi
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI="$membrix_gui" "$@"
}

# The comparisons with other simulators: installs what they need where it is
# missing and builds build/membrix-cli in Release, as ./run.sh does.
membrix_build_cli_for_comparison() {
  membrix_ensure_packages "${MEMBRIX_CORE_PACKAGES[@]}" "${MEMBRIX_COMPARISON_PACKAGES[@]}"
  local gui=OFF
  if membrix_gui_available; then
    gui=ON
  fi
  membrix_configure build -DCMAKE_BUILD_TYPE=Release -DMEMBRIX_GUI="$gui" >/dev/null
  cmake --build build -j2 --target membrix-cli >/dev/null
}
