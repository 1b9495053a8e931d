#!/usr/bin/env bash
# Runs the default noise ensemble of the squid axon in Membrix (one worker and
# one per core) and in Brian2's C++ standalone mode in turn and prints the cost
# per neuron-step of each and their ratio (bench/ensemble_brian2.py says how).
#
#   bench/ensemble_brian2.sh [--members N] [--threads N] [--repeats N]
#
# Builds build/membrix-cli in Release first, as ./run.sh does. Brian2 comes
# from Debian's python3-brian, installed with apt-get only when it is missing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/deps.sh

membrix_build_cli_for_comparison

exec /usr/bin/python3 bench/ensemble_brian2.py --cli build/membrix-cli "$@"
