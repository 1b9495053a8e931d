#!/usr/bin/env bash
# Builds the Debian package of Membrix from build/ (Release, as ./run.sh
# configures it): the workbench, the batch tool, the Python module, the shared
# files and the manual pages under /usr, depending on the Debian runtime
# packages of the libraries they link.
#
#   scripts/package.sh     writes build/package/membrix_VERSION_ARCH.deb and
#                          prints its path; install it with
#                          sudo apt install ./build/package/membrix_*.deb
#
# Missing Debian packages are installed first (apt-get, with sudo when not root).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

membrix_prepare_release_build
cmake --build build -j2 --target membrix-dist
rm -f build/package/membrix_*.deb
(cd build && cpack -G DEB >package.log 2>&1) || { cat build/package.log; exit 1; }
ls "$PWD"/build/package/membrix_*.deb
